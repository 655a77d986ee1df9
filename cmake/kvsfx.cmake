# Shared build settings and helpers for every target of the project.

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  set(KVSFX_PLATFORM_SUFFIX win)
else()
  set(KVSFX_PLATFORM_SUFFIX posix)
  add_compile_definitions(_FILE_OFFSET_BITS=64)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -ffunction-sections -fdata-sections)
endif()

if(KVSFX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(KVSFX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KVSFX_FUZZ)
  # Library code is instrumented for coverage; each fuzz target adds the fuzzer main.
  # Undefined behaviour stops the target, so that the fuzzer reports it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# kvsfx_library(NAME SOURCES... [PLATFORM base...] [LIBS ...])
# A static library from portable sources plus, for each PLATFORM base name,
# the file base_win.cpp or base_posix.cpp that fits the target platform.
function(kvsfx_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PLATFORM;LIBS" ${ARGN})
  set(sources ${ARG_SOURCES})
  foreach(base IN LISTS ARG_PLATFORM)
    list(APPEND sources ${base}_${KVSFX_PLATFORM_SUFFIX}.cpp)
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/fragments.cmake)

# kvsfx_check_no_marker(TARGET): after every link of TARGET, fails the build
# (and removes the file) when its image holds the data-block marker bytes.
function(kvsfx_check_no_marker target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DREMOVE_ON_FAILURE=ON
            -P ${PROJECT_SOURCE_DIR}/cmake/check_marker.cmake
    COMMENT "Checking ${target} for the data-block marker"
    VERBATIM)
endfunction()

# kvsfx_utf8_code_page(TARGET): on Windows, links a manifest that sets the
# program's active code page to UTF-8, so that its narrow Win32 calls and its
# arguments are UTF-8 like every name inside the program. Programs with a
# manifest of their own (the stub) set the code page there instead.
set(KVSFX_UTF8_RC ${CMAKE_CURRENT_LIST_DIR}/windows/utf8-code-page.rc)
function(kvsfx_utf8_code_page target)
  if(NOT WIN32)
    return()
  endif()
  target_sources(${target} PRIVATE ${KVSFX_UTF8_RC})
  set_property(SOURCE ${KVSFX_UTF8_RC} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} APPEND PROPERTY OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/cmake/windows/utf8-code-page.manifest)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows)
endfunction()
