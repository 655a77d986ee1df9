if(TARGET kvsfx_launcher)
  kvsfx_add_test(kvsfx_run_tests SOURCES run_tests.cpp app_tests.cpp LIBS kvsfx_launcher)
endif()
