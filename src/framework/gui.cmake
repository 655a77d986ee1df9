# Application object, windows, progress bar, dialogs, message boxes, wait
# cursor and message pump of our small framework.
set(KVSFX_FRAMEWORK_GUI_PLATFORM window progress_ctrl app message_box wait_cursor message_pump)
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/dialog.h)
  list(APPEND KVSFX_FRAMEWORK_GUI_PLATFORM dialog)
endif()
if(WIN32)
  set(KVSFX_FRAMEWORK_GUI_LIBS user32 gdi32 comctl32)
else()
  set(KVSFX_FRAMEWORK_GUI_LIBS)
endif()
kvsfx_library(kvsfx_framework
  SOURCES app.cpp message_box.cpp message_pump.cpp progress_ctrl.cpp
  PLATFORM ${KVSFX_FRAMEWORK_GUI_PLATFORM}
  LIBS ${KVSFX_FRAMEWORK_GUI_LIBS})
