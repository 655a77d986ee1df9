# The data block reader and the configuration keys.
kvsfx_add_test(kvsfx_config_tests SOURCES config_tests.cpp LIBS kvsfx_config)
