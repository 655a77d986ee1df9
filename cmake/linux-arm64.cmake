# Cross build of the Linux launcher for 64-bit ARM (aarch64) with Debian's
# cross compiler, statically linked like the x86-64 stub. zlib and liblzma are
# the static libraries that scripts/build-deps.sh builds from Debian's
# source packages; the C and C++ libraries come with the cross compiler.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)

set(CMAKE_FIND_ROOT_PATH /opt/kvsfx-deps/${triple} /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /opt/kvsfx-deps/${triple}/lib/libz.a CACHE FILEPATH "static aarch64 zlib")
set(ZLIB_INCLUDE_DIR /opt/kvsfx-deps/${triple}/include CACHE PATH "aarch64 zlib headers")

# Every program of this build is static, so the emulator needs no aarch64
# libraries on this machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under qemu's user-mode emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-aarch64-run.sh)
