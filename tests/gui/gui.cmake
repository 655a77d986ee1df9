# GUI test machinery: Xvfb + openbox sessions, Win32 helpers, and the tests of
# the progress window (Wine) and of the terminal bar (pseudo-terminal).
# Included from tests/launcher/progress.cmake; paths are relative to here.
set(KVSFX_GUI_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KVSFX_GUI_SHOTS ${CMAKE_BINARY_DIR}/gui-shots)

if(CMAKE_CROSSCOMPILING AND WIN32)
  foreach(program msgbox_helper msgbox_demo gui_probe station_helper)
    add_executable(${program} ${KVSFX_GUI_DIR}/${program}.cpp)
    set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/gui)
  endforeach()
  target_link_libraries(msgbox_helper PRIVATE user32)
  target_link_libraries(msgbox_demo PRIVATE user32)
  target_link_libraries(gui_probe PRIVATE user32)
  target_link_libraries(station_helper PRIVATE user32)
  # A GUI program, as the launched programs usually are: a console program
  # started from the (console-less) launcher gets a console host of its own
  # under Wine, which outlives it briefly with the work folder as its current
  # folder, so that the folder cannot be removed at once.
  set_target_properties(gui_probe PROPERTIES WIN32_EXECUTABLE ON)

  # GUI tests use a Wine prefix of their own, so that stopping its processes
  # at the end of a session touches no other test.
  set(gui_env "KVSFX_TESTDATA=${KVSFX_TESTDATA}" "KVSFX_BINDIR=${CMAKE_BINARY_DIR}"
      "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-gui" "WINEDEBUG=-all")

  add_test(NAME kvsfx_gui_msgbox_helper
    COMMAND bash ${KVSFX_GUI_DIR}/xvfb_session.sh ${KVSFX_GUI_SHOTS}/msgbox_helper
      bash ${KVSFX_GUI_DIR}/msgbox_helper_test.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
      $<TARGET_FILE:msgbox_helper> $<TARGET_FILE:msgbox_demo>)
  set_tests_properties(kvsfx_gui_msgbox_helper PROPERTIES
    ENVIRONMENT "${gui_env}" RESOURCE_LOCK kvsfx_gui SKIP_RETURN_CODE 77 TIMEOUT 300)

  if(TARGET kvsfx AND TARGET kvsfx-pack AND EXISTS ${KVSFX_GUI_DIR}/progress_window_test.py)
    add_test(NAME kvsfx_gui_progress_window
      COMMAND bash ${KVSFX_GUI_DIR}/xvfb_session.sh ${KVSFX_GUI_SHOTS}/progress_window
        python3 ${KVSFX_GUI_DIR}/progress_window_test.py
          --runner ${CMAKE_CROSSCOMPILING_EMULATOR} --stub $<TARGET_FILE:kvsfx>
          --pack $<TARGET_FILE:kvsfx-pack> --probe $<TARGET_FILE:gui_probe>
          --msgbox $<TARGET_FILE:msgbox_helper>)
    set_tests_properties(kvsfx_gui_progress_window PROPERTIES
      ENVIRONMENT "${gui_env}" RESOURCE_LOCK kvsfx_gui SKIP_RETURN_CODE 77 TIMEOUT 900)
  endif()
  # On a window station nobody sees: no window, no box, messages on stderr.
  if(TARGET kvsfx)
    add_test(NAME kvsfx_gui_unseen_station
      COMMAND bash ${KVSFX_GUI_DIR}/xvfb_session.sh ${KVSFX_GUI_SHOTS}/unseen_station
        python3 ${KVSFX_GUI_DIR}/unseen_station_test.py
          --runner ${CMAKE_CROSSCOMPILING_EMULATOR} --stub $<TARGET_FILE:kvsfx>
          --probe $<TARGET_FILE:gui_probe> --station $<TARGET_FILE:station_helper>)
    set_tests_properties(kvsfx_gui_unseen_station PROPERTIES
      ENVIRONMENT "${gui_env}" RESOURCE_LOCK kvsfx_gui SKIP_RETURN_CODE 77 TIMEOUT 300)
  endif()
elseif(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND TARGET kvsfx AND TARGET kvsfx-pack
       AND EXISTS ${KVSFX_GUI_DIR}/progress_terminal_test.py)
  add_test(NAME kvsfx_progress_terminal
    COMMAND python3 ${KVSFX_GUI_DIR}/progress_terminal_test.py
      --stub $<TARGET_FILE:kvsfx> --pack $<TARGET_FILE:kvsfx-pack>)
  set_tests_properties(kvsfx_progress_terminal PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
