# Work folder, argument text and launch. argv_dump is the program the launch
# tests start; it reports what it received.
add_executable(argv_dump argv_dump.cpp)
kvsfx_add_test(kvsfx_launch_tests SOURCES launch_tests.cpp work_folder_tests.cpp LIBS kvsfx_launch)
add_dependencies(kvsfx_launch_tests argv_dump)
target_compile_definitions(kvsfx_launch_tests PRIVATE ARGV_DUMP_PATH="$<TARGET_FILE:argv_dump>")
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
  # Under qemu's user-mode emulation a spawn's child runs as a fork, not
  # sharing memory with the parent, so a failed exec in it never reaches
  # LaunchProgram (on the machine itself it does). And without binfmt support
  # the kernel cannot start the aarch64 argv_dump at all.
  set(skipped LaunchTest.MissingProgramFailsAtOnce)
  if(NOT EXISTS /proc/sys/fs/binfmt_misc/qemu-${CMAKE_SYSTEM_PROCESSOR})
    set(skipped LaunchTest.*)
    message(STATUS "No binfmt support for ${CMAKE_SYSTEM_PROCESSOR}: the launch tests that start argv_dump are left out")
  endif()
  set_property(TEST kvsfx_launch_tests APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-${skipped}")
endif()
