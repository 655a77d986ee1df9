# The product: 32-bit Windows.
set(KVSFX_WINDOWS_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-windows.cmake)
