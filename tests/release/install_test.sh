#!/usr/bin/env bash
# Installs the build (and the Windows build, where it has been built) into
# PREFIX, then makes and runs a launcher file with the installed tools only:
# the installed kvsfx-pack finds its stubs without --stub.
# usage: install_test.sh BUILD WINDOWS_BUILD PREFIX PROBE
set -euo pipefail
build=$1 windows_build=$2 prefix=$3 probe=$4
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" > /dev/null
windows=no
if [ -f "$windows_build/cmake_install.cmake" ] && [ -f "$windows_build/kvsfx.exe" ]; then
  cmake --install "$windows_build" --prefix "$prefix" > /dev/null
  windows=yes
fi
pack=$prefix/bin/kvsfx-pack

work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/payload/docs" "$work/out" "$work/temp"
cp "$probe" "$work/payload/probe"
head -c 200000 /dev/urandom > "$work/payload/docs/data.bin"

version=$("$pack" --version)
[ "$version" = "kvsfx-pack $KVSFX_EXPECTED_VERSION" ] || { echo "FAIL: --version says '$version'"; exit 1; }

(cd "$work" && "$pack" --target linux -C payload --run probe --title "Installed" -o launcher > /dev/null)
(cd "$work/payload" && KVSFX_COPY_TO="$work/out" TMPDIR="$work/temp" "$work/launcher" docs/data.bin)
cmp "$work/payload/docs/data.bin" "$work/out/data.bin"
[ -z "$(ls -A "$work/temp")" ] || { echo "FAIL: work folder left behind"; exit 1; }

if [ $windows = yes ]; then
  (cd "$work" && "$pack" --target windows -C payload --run probe -o setup.exe > /dev/null 2>&1)
  [ "$(head -c 2 "$work/setup.exe")" = MZ ] || { echo "FAIL: the Windows launcher file has no Windows stub"; exit 1; }
  "$pack" --test "$work/setup.exe" > /dev/null
  echo "ok: one prefix, both targets"
else
  echo "note: no Windows build in $windows_build; the Linux target only"
fi
echo "PASS"
