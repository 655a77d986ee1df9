#!/usr/bin/env bash
# CPack makes a .deb and a .tar.gz that carry kvsfx-pack, the stubs (the
# Windows and the aarch64 ones where those builds exist) and the CMake package
# files.
# usage: package_test.sh BUILD WINDOWS_BUILD [ARM64_BUILD]
set -euo pipefail
build=$1 windows_build=$2 arm64_build=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work" -G "DEB;TGZ" > cpack.log 2>&1) ||
  { cat "$work/cpack.log"; exit 1; }

wanted=(bin/kvsfx-pack lib/kvsfx/kvsfx lib/cmake/kvsfx/kvsfxConfig.cmake lib/cmake/kvsfx/kvsfxConfigVersion.cmake)
if [ -f "$windows_build/kvsfx.exe" ]; then
  wanted+=(lib/kvsfx/kvsfx.exe)
else
  echo "note: no Windows build in $windows_build; the packages carry no Windows stub"
fi
if [ -n "$arm64_build" ] && [ -f "$arm64_build/kvsfx-linux-arm64" ]; then
  wanted+=(lib/kvsfx/kvsfx-linux-arm64)
else
  echo "note: no linux-arm64 build in ${arm64_build:-(none given)}; the packages carry no aarch64 stub"
fi
deb=$(ls "$work"/*.deb) tgz=$(ls "$work"/*.tar.gz)
dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./usr/||' > "$work/deb.list"
tar tzf "$tgz" | sed 's|^[^/]*/||' > "$work/tgz.list"
failed=0
for file in "${wanted[@]}"; do
  grep -qx "$file" "$work/deb.list" || { echo "FAIL: $(basename "$deb") lacks usr/$file"; failed=1; }
  grep -qx "$file" "$work/tgz.list" || { echo "FAIL: $(basename "$tgz") lacks $file"; failed=1; }
done
[ $failed = 0 ] && echo "PASS: $(basename "$deb") and $(basename "$tgz")"
exit $failed
