# The progress window (Windows dialog, Linux terminal line) and its sink.
# The window's start handler runs the lead's extraction job, which lives in
# kvsfx_launcher; that library links this one, so the back edge is named only
# when it exists.
kvsfx_library(kvsfx_progress
  SOURCES step_sink.cpp progress_dlg.cpp
  PLATFORM progress_dlg
  LIBS kvsfx_framework $<TARGET_NAME_IF_EXISTS:kvsfx_launcher>)

# Resources of the Windows stub: dialog 102, icon 128 (drawn at build time by
# resources/make_icon.py), manifest and version. kvsfx_add_stub_resources(T)
# compiles them into the Windows program T.
if(WIN32)
  set(KVSFX_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/resources CACHE INTERNAL "")
  set(KVSFX_RESOURCE_BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR}/resources CACHE INTERNAL "")
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(
    OUTPUT ${KVSFX_RESOURCE_BINARY_DIR}/kvsfx.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KVSFX_RESOURCE_BINARY_DIR}
    COMMAND Python3::Interpreter ${KVSFX_RESOURCE_DIR}/make_icon.py ${KVSFX_RESOURCE_BINARY_DIR}/kvsfx.ico
    DEPENDS ${KVSFX_RESOURCE_DIR}/make_icon.py
    COMMENT "Drawing the kvsfx icon"
    VERBATIM)
  add_custom_target(kvsfx_stub_icon DEPENDS ${KVSFX_RESOURCE_BINARY_DIR}/kvsfx.ico)
endif()

function(kvsfx_add_stub_resources target)
  if(NOT WIN32)
    return()
  endif()
  set(rc ${KVSFX_RESOURCE_DIR}/kvsfx.rc)
  # The stub's manifest sets the UTF-8 code page itself: a test program that
  # takes the stub's resources drops the plain manifest it had.
  get_target_property(sources ${target} SOURCES)
  list(REMOVE_ITEM sources ${KVSFX_UTF8_RC})
  set_property(TARGET ${target} PROPERTY SOURCES ${sources} ${rc})
  set_property(SOURCE ${rc} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} APPEND PROPERTY OBJECT_DEPENDS
    ${KVSFX_RESOURCE_BINARY_DIR}/kvsfx.ico ${KVSFX_RESOURCE_DIR}/kvsfx.manifest)
  # windres looks for the icon and the manifest in its include folders.
  target_include_directories(${target} PRIVATE ${KVSFX_RESOURCE_BINARY_DIR} ${KVSFX_RESOURCE_DIR})
  add_dependencies(${target} kvsfx_stub_icon)
endfunction()
