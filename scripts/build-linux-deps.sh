#!/usr/bin/env bash
# Builds static zlib and liblzma for a cross-compiled Linux target (TRIPLE,
# e.g. aarch64-linux-gnu) from Debian's zlib and xz-utils source packages,
# fetched by name, into /opt/kvsfx-deps/TRIPLE (found there by
# cmake/linux-arm64.cmake). Debian's multiarch -dev packages for the target
# cannot be used: they must carry exactly the host's package versions, and the
# mirrors do not always have them. Size-optimised with one section per
# function, so the static stub links only what it calls.
# Idempotent: does nothing when both libraries are there.
set -euo pipefail
triple="${1:?usage: build-linux-deps.sh TRIPLE (e.g. aarch64-linux-gnu)}"
prefix="/opt/kvsfx-deps/$triple"
[ -f "$prefix/lib/libz.a" ] && [ -f "$prefix/lib/liblzma.a" ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cflags="-Os -ffunction-sections -fdata-sections"
$SUDO mkdir -p "$prefix/lib" "$prefix/include"

if [ ! -f "$prefix/lib/libz.a" ]; then
  echo "Building zlib for $triple from Debian's zlib source package"
  apt-get source -qq zlib >/dev/null 2>&1 || {
    echo "apt-get source zlib failed (is the deb-src entry there?)" >&2
    exit 1
  }
  src="$(find "$work" -maxdepth 1 -type d -name 'zlib-*' | head -n 1)"
  (cd "$src" && CC="$triple-gcc" AR="$triple-ar" RANLIB="$triple-ranlib" CFLAGS="$cflags" \
     ./configure --static --prefix="$prefix" >/dev/null && make -s libz.a >/dev/null)
  $SUDO cp "$src/libz.a" "$prefix/lib/libz.a"
  $SUDO cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
fi

if [ ! -f "$prefix/lib/liblzma.a" ]; then
  echo "Building liblzma for $triple from Debian's xz-utils source package"
  apt-get source -qq xz-utils >/dev/null 2>&1 || {
    echo "apt-get source xz-utils failed (is the deb-src entry there?)" >&2
    exit 1
  }
  src="$(find "$work" -maxdepth 1 -type d -name 'xz-utils-*' | head -n 1)"
  # Makefiles: on Linux targets the tool links (unxz, xzcat) trip up Ninja.
  cmake -S "$src" -B "$work/build-xz" -G "Unix Makefiles" \
    -DCMAKE_SYSTEM_NAME=Linux \
    -DCMAKE_SYSTEM_PROCESSOR="${triple%%-*}" \
    -DCMAKE_C_COMPILER="$triple-gcc" \
    -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections" \
    -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/build-xz" --target liblzma -j2 >/dev/null
  $SUDO cp "$work/build-xz/liblzma.a" "$prefix/lib/liblzma.a"
  $SUDO cp -r "$src/src/liblzma/api/lzma.h" "$src/src/liblzma/api/lzma" "$prefix/include/"
fi
