# The installed tree: bin/kvsfx-pack, the stubs in lib/kvsfx/ (where the
# installed kvsfx-pack looks for them, relative to itself), the CMake package
# in lib/cmake/kvsfx/. Installing a native and a Windows build (and the stubs
# component of the linux-arm64 build) into one prefix gives a kvsfx-pack that
# serves every target.
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

set(CPACK_PACKAGE_NAME kvsfx)
set(CPACK_PACKAGE_VENDOR kvsfx)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Self-extracting launcher: kvsfx-pack and the launcher stubs for Linux and Windows")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_other_stub.cmake)
if(NOT CMAKE_CROSSCOMPILING)
  # Packages (.deb and .tar.gz) from the native build; they carry the Windows
  # and the aarch64 stubs too when the builds below have made them.
  set(KVSFX_WINDOWS_BUILD ${PROJECT_SOURCE_DIR}/build/win32 CACHE PATH
    "Build folder whose Windows stub the packages carry beside the Linux one")
  set(KVSFX_ARM64_BUILD ${PROJECT_SOURCE_DIR}/build/linux-arm64 CACHE PATH
    "Build folder whose aarch64 Linux stub the packages carry beside the others")
  set(CPACK_KVSFX_OTHER_BUILDS ${KVSFX_WINDOWS_BUILD} ${KVSFX_ARM64_BUILD})
  set(CPACK_KVSFX_OTHER_STUBS kvsfx.exe kvsfx-linux-arm64)
  set(CPACK_KVSFX_OTHER_PRESETS win32 linux-arm64)
  set(CPACK_PACKAGE_CONTACT "kvsfx maintainers <maintainers@kvsfx.invalid>")
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};kvsfx;ALL;/")
  set(CPACK_STRIP_FILES bin/kvsfx-pack)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  include(CPack)
elseif(WIN32)
  # The Windows package, kvsfx-<version>-win32.zip (win64 from the x86_64
  # build): the same tree as the Linux install, so that kvsfx-pack.exe finds
  # every stub in ..\lib\kvsfx\, with the Linux stubs from the native and the
  # linux-arm64 builds,
  # and README.md at the top (only in the package, not in an install).
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT package_docs EXCLUDE_FROM_ALL)
  set(KVSFX_LINUX_BUILD ${PROJECT_SOURCE_DIR}/build/native CACHE PATH
    "Build folder whose Linux stub the Windows package carries beside the Windows one")
  set(KVSFX_ARM64_BUILD ${PROJECT_SOURCE_DIR}/build/linux-arm64 CACHE PATH
    "Build folder whose aarch64 Linux stub the Windows package carries beside the others")
  set(CPACK_KVSFX_OTHER_BUILDS ${KVSFX_LINUX_BUILD} ${KVSFX_ARM64_BUILD})
  set(CPACK_KVSFX_OTHER_STUBS kvsfx kvsfx-linux-arm64)
  set(CPACK_KVSFX_OTHER_PRESETS native linux-arm64)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};kvsfx;tools;/" "${CMAKE_BINARY_DIR};kvsfx;stubs;/"
    "${CMAKE_BINARY_DIR};kvsfx;package_docs;/")
  set(CPACK_STRIP_FILES bin/kvsfx-pack.exe)
  include(CPack)
endif()
