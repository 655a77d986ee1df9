#!/usr/bin/env bash
# Builds the static libraries that a cross-compiled stub links, from Debian's
# source packages fetched by name, into /opt/kvsfx-deps/TRIPLE (found there
# by the toolchain files in cmake/):
#   liblzma from xz-utils, for every TRIPLE (i686-w64-mingw32,
#     x86_64-w64-mingw32, aarch64-linux-gnu): with its encoders, which
#     kvsfx-pack uses; the stubs link only the decoders they call;
#   zlib from zlib, for Linux triples (MinGW's is Debian's libz-mingw-w64-dev).
# Debian's multiarch -dev packages for a Linux target cannot be used: they
# must carry exactly the host's package versions, and the mirrors do not
# always have them. Size-optimised with one section per function.
# Idempotent: does nothing when the libraries are there.
set -euo pipefail
triple="${1:?usage: build-deps.sh TRIPLE (e.g. i686-w64-mingw32, aarch64-linux-gnu)}"
prefix="${KVSFX_DEPS:-/opt/kvsfx-deps}/$triple"
case "$triple" in
  *-mingw32) system=Windows cc="$triple-gcc-posix" need_zlib= ;;
  *) system=Linux cc="$triple-gcc" need_zlib=1 ;;
esac
[ -f "$prefix/lib/liblzma.a" ] && { [ -z "$need_zlib" ] || [ -f "$prefix/lib/libz.a" ]; } && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
$SUDO mkdir -p "$prefix/lib" "$prefix/include"

fetch() {  # source package; prints its unpacked folder
  # A source index that is missing or stale is fetched once more.
  apt-get source -qq "$1" >/dev/null 2>&1 || {
    $SUDO apt-get update -qq >/dev/null 2>&1 || true
    apt-get source -qq "$1" >/dev/null 2>&1
  } || {
    echo "apt-get source $1 failed (is the deb-src entry there?)" >&2
    exit 1
  }
  find "$work" -maxdepth 1 -type d -name "$2" | head -n 1
}

if [ -n "$need_zlib" ] && [ ! -f "$prefix/lib/libz.a" ]; then
  echo "Building zlib for $triple from Debian's zlib source package"
  src="$(fetch zlib 'zlib-*')"
  (cd "$src" && CC="$cc" AR="$triple-ar" RANLIB="$triple-ranlib" CFLAGS="-Os -ffunction-sections -fdata-sections" \
     ./configure --static --prefix="$prefix" >/dev/null && make -s libz.a >/dev/null)
  $SUDO cp "$src/libz.a" "$prefix/lib/libz.a"
  $SUDO cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
fi

if [ ! -f "$prefix/lib/liblzma.a" ]; then
  echo "Building liblzma for $triple from Debian's xz-utils source package"
  src="$(fetch xz-utils 'xz-utils-*')"
  # Makefiles: on Linux targets the tool links (unxz, xzcat) trip up Ninja.
  cmake -S "$src" -B "$work/build-xz" -G "Unix Makefiles" \
    -DCMAKE_SYSTEM_NAME="$system" \
    -DCMAKE_SYSTEM_PROCESSOR="${triple%%-*}" \
    -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_RC_COMPILER="$triple-windres" \
    -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections" \
    -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/build-xz" --target liblzma -j2 >/dev/null
  $SUDO cp "$work/build-xz/liblzma.a" "$prefix/lib/liblzma.a"
  $SUDO cp -r "$src/src/liblzma/api/lzma.h" "$src/src/liblzma/api/lzma" "$prefix/include/"
fi
