# The data block reader and the configuration keys.
kvsfx_add_test(kvsfx_config_tests SOURCES config_tests.cpp LIBS kvsfx_config)
# The build step that keeps the marker out of the stubs.
add_test(NAME kvsfx_check_marker_tests
         COMMAND ${CMAKE_COMMAND} -DSCRIPT=${PROJECT_SOURCE_DIR}/cmake/check_marker.cmake
                 -DWORK=${CMAKE_CURRENT_BINARY_DIR}/check_marker -P ${CMAKE_CURRENT_SOURCE_DIR}/check_marker_test.cmake)
