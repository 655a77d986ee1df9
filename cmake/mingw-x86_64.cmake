# 64-bit Windows build of the same sources, for running the Windows tests
# under wine64 where the kernel cannot start 32-bit programs.
set(KVSFX_WINDOWS_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-windows.cmake)
