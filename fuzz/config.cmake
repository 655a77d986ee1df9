# The block reader and the configuration: arbitrary bytes as the tail of a
# launcher file, read back and parsed.
if(TARGET kvsfx_config)
  kvsfx_fuzz_target(fuzz_config SOURCES fuzz_config.cpp LIBS kvsfx_config)
endif()
