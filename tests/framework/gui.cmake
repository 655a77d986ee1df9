# Application object, message boxes, message pump and progress-bar scaling.
kvsfx_add_test(kvsfx_framework_tests
  SOURCES gui_test.cpp
  LIBS kvsfx_framework)
