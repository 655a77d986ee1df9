# Read by cpack: the packages carry the Windows stub from the Windows build
# folder (its "stubs" component) when that build has made it.
if(EXISTS "${CPACK_KVSFX_WINDOWS_BUILD}/cmake_install.cmake" AND EXISTS "${CPACK_KVSFX_WINDOWS_BUILD}/kvsfx.exe")
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KVSFX_WINDOWS_BUILD};kvsfx;stubs;/")
else()
  message(WARNING "No Windows stub in ${CPACK_KVSFX_WINDOWS_BUILD}: the package carries the Linux stub only. "
                  "Build the win32 preset first (or set KVSFX_WINDOWS_BUILD).")
endif()
