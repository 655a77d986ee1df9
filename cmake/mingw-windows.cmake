# Cross build for Windows with MinGW-w64 (posix threads), fully static.
# KVSFX_WINDOWS_ARCH selects i686 (the product) or x86_64 (the same sources,
# used to run the Windows tests under wine64 on machines whose kernel cannot
# run 32-bit programs).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT KVSFX_WINDOWS_ARCH)
  set(KVSFX_WINDOWS_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${KVSFX_WINDOWS_ARCH})
set(triple ${KVSFX_WINDOWS_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# liblzma: built from Debian's source package by scripts/build-deps.sh.
set(CMAKE_FIND_ROOT_PATH /usr/${triple} /opt/kvsfx-deps/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static zlib only: the stub must not need any DLL beyond the system's.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${triple}/lib/libz.a CACHE FILEPATH "static MinGW zlib")
set(ZLIB_INCLUDE_DIR /usr/${triple}/include CACHE PATH "MinGW zlib headers")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine in a private prefix inside the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
