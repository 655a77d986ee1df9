# The embedded data block and the configuration it carries.
kvsfx_library(kvsfx_config SOURCES data_block.cpp configuration.cpp PLATFORM data_block LIBS kvsfx_markup kvsfx_framework)
