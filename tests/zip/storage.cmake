# Archive errors, buffers, files, paths, platform operations and the storage layer.
kvsfx_add_test(kvsfx_zip_storage_tests
  SOURCES
    zip_exception_tests.cpp
    zip_file_tests.cpp
    zip_path_tests.cpp
    zip_fs_tests.cpp
    zip_store_tests.cpp
  LIBS kvsfx_zip_storage)
if(WIN32)
  target_sources(kvsfx_zip_storage_tests PRIVATE zip_output_tree_tests_win.cpp)
else()
  target_sources(kvsfx_zip_storage_tests PRIVATE zip_output_tree_tests_posix.cpp)
endif()
