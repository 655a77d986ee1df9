# kvsfx: kvsfx-pack, the builder of self-extracting launcher files, and a
# function that makes a launcher file as part of a build.
#
#   find_package(kvsfx)
#   kvsfx_add_launcher(<target> PAYLOAD <folder> RUN <program>
#                      [TITLE <text>] [TARGET linux|linux-x86_64|linux-arm64|windows]
#                      [NO_PASSWORD] [NO_PROGRESS] [SOLID] [OUTPUT <file>]
#                      [DEPENDS <targets or files>...])
#
# <target> is a custom target (built by default) that makes the launcher file
# OUTPUT (default: <target>.run for Linux, <target>.exe for Windows, in the
# current binary folder) from the files below PAYLOAD (relative to the current source
# folder). The file is made again when a payload file changes, appears or
# goes away, and when kvsfx-pack or the stub changes. DEPENDS names what the
# build makes into the payload folder. The stub comes from this installation
# (TARGET defaults to the platform kvsfx-pack runs on).
#
# Also defined: the imported executable kvsfx::pack.

get_filename_component(_kvsfx_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
find_program(KVSFX_PACK_EXECUTABLE kvsfx-pack PATHS "${_kvsfx_prefix}/bin" NO_DEFAULT_PATH)
if(NOT KVSFX_PACK_EXECUTABLE)
  set(kvsfx_FOUND FALSE)
  set(kvsfx_NOT_FOUND_MESSAGE "kvsfx-pack is not in ${_kvsfx_prefix}/bin")
  return()
endif()
if(NOT TARGET kvsfx::pack)
  add_executable(kvsfx::pack IMPORTED)
  set_target_properties(kvsfx::pack PROPERTIES IMPORTED_LOCATION "${KVSFX_PACK_EXECUTABLE}")
endif()
set(KVSFX_STUB_DIR "${_kvsfx_prefix}/lib/kvsfx")

function(kvsfx_add_launcher name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_PASSWORD;NO_PROGRESS;SOLID" "PAYLOAD;RUN;TITLE;TARGET;OUTPUT" "DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kvsfx_add_launcher(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_PAYLOAD OR NOT arg_RUN)
    message(FATAL_ERROR "kvsfx_add_launcher(${name}): PAYLOAD <folder> and RUN <program> are needed")
  endif()
  if(NOT arg_TARGET)
    if(CMAKE_HOST_WIN32)
      set(arg_TARGET windows)
    elseif(CMAKE_HOST_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
      set(arg_TARGET linux-arm64)
    else()
      set(arg_TARGET linux)
    endif()
  endif()
  if(arg_TARGET STREQUAL "windows")
    set(stub "${KVSFX_STUB_DIR}/kvsfx.exe")
    set(suffix .exe)
  elseif(arg_TARGET STREQUAL "linux" OR arg_TARGET STREQUAL "linux-x86_64")
    set(stub "${KVSFX_STUB_DIR}/kvsfx")
    set(suffix .run)
  elseif(arg_TARGET STREQUAL "linux-arm64")
    set(stub "${KVSFX_STUB_DIR}/kvsfx-linux-arm64")
    set(suffix .run)
  else()
    message(FATAL_ERROR
      "kvsfx_add_launcher(${name}): TARGET takes linux, linux-x86_64, linux-arm64 or windows, not '${arg_TARGET}'")
  endif()
  if(NOT EXISTS "${stub}")
    message(FATAL_ERROR "kvsfx_add_launcher(${name}): this kvsfx installation has no stub ${stub}")
  endif()
  get_filename_component(payload "${arg_PAYLOAD}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}${suffix}")
  endif()

  # Changed files are seen by their time stamps; files that appear or go
  # away change the list (looked at again by every build), which is kept in
  # a file that is only rewritten when it changes.
  file(GLOB_RECURSE payload_files CONFIGURE_DEPENDS LIST_DIRECTORIES false "${payload}/*")
  set(payload_list "${CMAKE_CURRENT_BINARY_DIR}/${name}.kvsfx-payload")
  list(JOIN payload_files "\n" listing)
  file(CONFIGURE OUTPUT "${payload_list}" CONTENT "${listing}\n" @ONLY)

  set(command kvsfx::pack --target ${arg_TARGET} -C "${payload}" --run "${arg_RUN}" -o "${output}")
  if(DEFINED arg_TITLE)
    list(APPEND command --title "${arg_TITLE}")
  endif()
  if(arg_NO_PASSWORD)
    list(APPEND command --no-password)
  endif()
  if(arg_NO_PROGRESS)
    list(APPEND command --no-progress)
  endif()
  if(arg_SOLID)
    list(APPEND command --solid)
  endif()
  add_custom_command(OUTPUT "${output}"
    COMMAND ${command}
    DEPENDS ${payload_files} "${payload_list}" "${KVSFX_PACK_EXECUTABLE}" "${stub}" ${arg_DEPENDS}
    COMMENT "Making launcher file ${output}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${output}")
endfunction()
