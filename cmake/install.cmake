# The installed tree: bin/kvsfx-pack, the stubs in lib/kvsfx/ (where the
# installed kvsfx-pack looks for them, relative to itself), the CMake package
# in lib/cmake/kvsfx/. Installing a native and a Windows build into one prefix
# gives a kvsfx-pack that serves both targets.
include(CMakePackageConfigHelpers)

if(TARGET kvsfx-pack)
  install(TARGETS kvsfx-pack RUNTIME DESTINATION bin COMPONENT tools)
endif()
if(TARGET kvsfx)
  install(TARGETS kvsfx RUNTIME DESTINATION lib/kvsfx COMPONENT stubs)
endif()
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kvsfxConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kvsfxConfig.cmake ${CMAKE_BINARY_DIR}/kvsfxConfigVersion.cmake
  DESTINATION lib/cmake/kvsfx COMPONENT tools)

# Packages (.deb and .tar.gz) from the native build; they carry the Windows
# stub too when the Windows build below has been built.
if(NOT CMAKE_CROSSCOMPILING)
  set(KVSFX_WINDOWS_BUILD ${PROJECT_SOURCE_DIR}/build/win32 CACHE PATH
    "Build folder whose Windows stub the packages carry beside the Linux one")
  set(CPACK_KVSFX_WINDOWS_BUILD ${KVSFX_WINDOWS_BUILD})
  set(CPACK_PACKAGE_NAME kvsfx)
  set(CPACK_PACKAGE_VENDOR kvsfx)
  set(CPACK_PACKAGE_CONTACT "kvsfx maintainers <maintainers@kvsfx.invalid>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Self-extracting launcher: kvsfx-pack and the launcher stubs for Linux and Windows")
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};kvsfx;ALL;/")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_windows_stub.cmake)
  set(CPACK_STRIP_FILES bin/kvsfx-pack)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  include(CPack)
endif()
