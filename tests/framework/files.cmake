# Framework exceptions and the file class.
kvsfx_add_test(kvsfx_files_tests
  SOURCES file_tests.cpp
  LIBS kvsfx_framework_files)
