# Application object, windows, progress bar, modal dialogs, message boxes,
# wait cursor and message pump of our small framework (the program's own
# path comes from the files part).
if(WIN32)
  set(KVSFX_FRAMEWORK_GUI_LIBS user32 gdi32 comctl32)
else()
  set(KVSFX_FRAMEWORK_GUI_LIBS)
endif()
kvsfx_library(kvsfx_framework
  SOURCES app.cpp dialog.cpp message_box.cpp message_pump.cpp progress_ctrl.cpp
  PLATFORM window progress_ctrl app dialog message_box wait_cursor message_pump tick_clock window_station
  LIBS kvsfx_framework_files ${KVSFX_FRAMEWORK_GUI_LIBS})
