# Work folder, argument text and program launch.
kvsfx_library(kvsfx_launch
  SOURCES work_folder.cpp argument_text.cpp batch_command_line.cpp free_space.cpp
  PLATFORM work_folder work_parent launch process_tree absolute_path system_error batch_refusal free_space run_stop
  LIBS kvsfx_cleanup kvsfx_framework)
if(WIN32)
  # The work folder's private DACL and the preferred temporary folder.
  target_sources(kvsfx_launch PRIVATE work_folder_security_win.cpp)
endif()
