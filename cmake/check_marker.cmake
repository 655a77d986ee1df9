# cmake -DFILE=<path> [-DREMOVE_ON_FAILURE=ON] -P check_marker.cmake
# Fails when the file holds the data-block marker bytes (0B 0B AF AF 0B 0B):
# a launcher stub that contained them would take part of its own image for
# its data block. With REMOVE_ON_FAILURE the file is deleted as well, so that
# the next build makes it again instead of keeping a bad stub.
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED FILE OR NOT EXISTS "${FILE}")
  message(FATAL_ERROR "check_marker: no file '${FILE}'")
endif()
file(READ "${FILE}" content HEX)
set(marker "0b0b")
string(APPEND marker "afaf0b0b")
# Hex digits come in pairs; a match that starts at an odd digit is not a byte match.
set(base 0)
while(TRUE)
  string(FIND "${content}" "${marker}" at)
  if(at EQUAL -1)
    break()
  endif()
  math(EXPR parity "${at} % 2")
  if(parity EQUAL 0)
    math(EXPR offset "(${base} + ${at}) / 2")
    if(REMOVE_ON_FAILURE)
      file(REMOVE "${FILE}")
    endif()
    message(FATAL_ERROR "check_marker: ${FILE} holds the data-block marker at offset ${offset}")
  endif()
  math(EXPR skip "${at} + 1")
  string(SUBSTRING "${content}" ${skip} -1 content)
  math(EXPR base "${base} + ${skip}")
endwhile()
