# cmake -DSCRIPT=<check_marker.cmake> -DWORK=<folder> -P check_marker_test.cmake
# The build check must reject a file that holds the marker bytes (and remove
# it), and accept files with only parts of it or with its hex digits shifted
# by half a byte.
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY "${WORK}")
string(ASCII 11 11 175 175 11 11 marker)
string(ASCII 11 11 175 175 11 partial)
string(ASCII 16 176 186 250 240 176 177 shifted)  # hex 10 b0 ba fa f0 b0 b1

function(check name content expect_ok)
  set(path "${WORK}/${name}.bin")
  file(WRITE "${path}" "${content}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${path} -DREMOVE_ON_FAILURE=ON -P ${SCRIPT}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${name}: rejected a file without the marker")
  elseif(NOT expect_ok)
    if(rc EQUAL 0)
      message(FATAL_ERROR "${name}: accepted a file with the marker")
    endif()
    if(EXISTS "${path}")
      message(FATAL_ERROR "${name}: rejected file was not removed")
    endif()
  endif()
endfunction()

check(clean "just text" TRUE)
check(partial "xx${partial}xx${partial}" TRUE)
check(shifted "${shifted}" TRUE)
check(at_start "${marker}tail" FALSE)
check(in_middle "head${marker}tail" FALSE)
check(after_shifted "${shifted}${marker}" FALSE)
