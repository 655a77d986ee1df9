# Work folder, argument text and launch. argv_dump is the program the launch
# tests start; it reports what it received.
add_executable(argv_dump argv_dump.cpp)
kvsfx_add_test(kvsfx_launch_tests SOURCES launch_tests.cpp work_folder_tests.cpp LIBS kvsfx_launch)
add_dependencies(kvsfx_launch_tests argv_dump)
target_compile_definitions(kvsfx_launch_tests PRIVATE ARGV_DUMP_PATH="$<TARGET_FILE:argv_dump>")
