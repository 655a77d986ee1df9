# Progress sink and window; on Windows also the stub's resources, compiled
# into the test program the same way as into the stub.
if(TARGET kvsfx_launcher)
  kvsfx_add_test(kvsfx_progress_tests
    SOURCES progress_tests.cpp progress_tests_${KVSFX_PLATFORM_SUFFIX}.cpp
    LIBS kvsfx_progress kvsfx_launcher)
  kvsfx_add_stub_resources(kvsfx_progress_tests)
endif()

include(${PROJECT_SOURCE_DIR}/tests/gui/gui.cmake)
