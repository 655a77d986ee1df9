# Read by cpack: a package carries the other targets' stubs too (the Windows
# and aarch64 stubs in the Linux packages, both Linux stubs in the Windows
# one), each taken from its build folder (the "stubs" component) when that
# build has made it.
foreach(build stub preset IN ZIP_LISTS CPACK_KVSFX_OTHER_BUILDS CPACK_KVSFX_OTHER_STUBS CPACK_KVSFX_OTHER_PRESETS)
  if(EXISTS "${build}/cmake_install.cmake" AND EXISTS "${build}/${stub}")
    list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${build};kvsfx;stubs;/")
  else()
    message(WARNING "No stub ${stub} in ${build}: the package carries no ${stub}. "
                    "Build the ${preset} preset first.")
  endif()
endforeach()
