# The archive reader: arbitrary bytes opened from memory, listed and extracted.
# Seeds: the generated test archives (copy them from the build's testdata).
if(TARGET kvsfx_zip)
  kvsfx_fuzz_target(fuzz_zip SOURCES fuzz_zip.cpp LIBS kvsfx_zip)
endif()
