# Read by cpack: a package carries the other platform's stub too (the Windows
# stub in the Linux packages, the Linux stub in the Windows one), taken from
# that platform's build folder (its "stubs" component) when it has made it.
if(EXISTS "${CPACK_KVSFX_OTHER_BUILD}/cmake_install.cmake" AND EXISTS "${CPACK_KVSFX_OTHER_BUILD}/${CPACK_KVSFX_OTHER_STUB}")
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KVSFX_OTHER_BUILD};kvsfx;stubs;/")
else()
  message(WARNING "No stub ${CPACK_KVSFX_OTHER_STUB} in ${CPACK_KVSFX_OTHER_BUILD}: the package carries this "
                  "platform's stub only. Build the ${CPACK_KVSFX_OTHER_PRESET} preset first.")
endif()
