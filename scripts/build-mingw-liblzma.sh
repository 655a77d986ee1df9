#!/usr/bin/env bash
# Builds a static liblzma for MinGW-w64 (ARCH: i686 or x86_64) from Debian's
# xz-utils source package, fetched by name, into /opt/kvsfx-deps/ARCH-w64-mingw32
# (found there by cmake/mingw-windows.cmake). Size-optimised, with the
# encoders for kvsfx-pack.exe; the stubs link only the decoders they call.
# Idempotent: does nothing when the library is there.
set -euo pipefail
arch="${1:?usage: build-mingw-liblzma.sh i686|x86_64}"
triple="$arch-w64-mingw32"
prefix="/opt/kvsfx-deps/$triple"
[ -f "$prefix/lib/liblzma.a" ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "Building liblzma for $triple from Debian's xz-utils source package"
apt-get source -qq xz-utils >/dev/null 2>&1 || {
  echo "apt-get source xz-utils failed (is the deb-src entry there?)" >&2
  exit 1
}
src="$(find "$work" -maxdepth 1 -type d -name 'xz-utils-*' | head -n 1)"
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_C_COMPILER="$triple-gcc-posix" \
  -DCMAKE_RC_COMPILER="$triple-windres" \
  -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections" \
  -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/build" --target liblzma >/dev/null
$SUDO mkdir -p "$prefix/lib" "$prefix/include"
$SUDO cp "$work/build/liblzma.a" "$prefix/lib/liblzma.a"
$SUDO cp -r "$src/src/liblzma/api/lzma.h" "$src/src/liblzma/api/lzma" "$prefix/include/"
