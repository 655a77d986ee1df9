# kvsfx_include_fragments(a b c): includes a.cmake, b.cmake, ... of the current
# source folder when they exist, so that parts of one subsystem can be declared
# in files of their own.
macro(kvsfx_include_fragments)
  foreach(fragment ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${fragment}.cmake)
      include(${CMAKE_CURRENT_SOURCE_DIR}/${fragment}.cmake)
    endif()
  endforeach()
endmacro()
