# Exceptions and the file class of our framework stand-in.
kvsfx_library(kvsfx_framework_files
  SOURCES exception.cpp
  PLATFORM file module_path)
