# The job, the run and the application object, and the two stubs built from
# them: kvsfx (Linux) and kvsfx.exe (Windows GUI program).
foreach(part kvsfx_config kvsfx_launch kvsfx_progress kvsfx_cleanup kvsfx_zip kvsfx_solid kvsfx_framework)
  if(NOT TARGET ${part})
    message(STATUS "launcher: ${part} not there yet; stubs not built")
    return()
  endif()
endforeach()
kvsfx_library(kvsfx_launcher
  SOURCES extract_job.cpp extraction_run.cpp launcher_app.cpp progress_window.cpp
  PLATFORM launcher_paths switch_match
  LIBS kvsfx_config kvsfx_launch kvsfx_progress kvsfx_cleanup kvsfx_zip kvsfx_solid kvsfx_framework)

add_executable(kvsfx main_${KVSFX_PLATFORM_SUFFIX}.cpp stub_runtime.cpp)
target_link_libraries(kvsfx PRIVATE kvsfx_launcher)
set_target_properties(kvsfx PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# Each target's stub has its own file name, so that all of them can lie side
# by side in lib/kvsfx/: kvsfx (x86-64 Linux), kvsfx-linux-arm64, kvsfx.exe.
if(NOT WIN32 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set_target_properties(kvsfx PROPERTIES OUTPUT_NAME kvsfx-linux-arm64)
endif()
if(WIN32)
  set_target_properties(kvsfx PROPERTIES WIN32_EXECUTABLE ON)
  kvsfx_add_stub_resources(kvsfx)
endif()
# A small stub: every launcher file carries it, and the data block must begin
# within the first 1148570 bytes of the file.
target_link_options(kvsfx PRIVATE -Wl,--gc-sections $<$<CONFIG:Release,RelWithDebInfo>:-s>)
# The Linux stub is linked statically: a launcher file runs on the machine
# that receives it, whatever C and C++ libraries that machine has (or lacks).
# The sanitizers need the dynamic runtime, so their builds stay dynamic.
# Code and read-only data share one segment (no page of padding between them).
if(NOT WIN32 AND NOT KVSFX_SANITIZE AND NOT KVSFX_FUZZ)
  target_link_options(kvsfx PRIVATE -static -Wl,-z,noseparate-code)
endif()
kvsfx_check_no_marker(kvsfx)
