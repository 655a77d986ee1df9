# Exceptions and the file class of our framework stand-in.
kvsfx_library(kvsfx_framework_files
  SOURCES exception.cpp
  PLATFORM file module_path)
# Windows: folder-relative opens for extraction and the cleaner (ntdll).
if(WIN32)
  target_sources(kvsfx_framework_files PRIVATE folder_relative_win.cpp)
  target_link_libraries(kvsfx_framework_files PUBLIC ntdll)
endif()
