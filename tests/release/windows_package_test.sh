#!/usr/bin/env bash
# The Windows package (CPack's ZIP) unpacked into a fresh folder under Wine:
# its kvsfx-pack.exe finds both stubs by itself. A launcher file made without
# --stub runs under Wine with the payload identical; one made with
# --target linux runs on Linux; where the linux-arm64 build has made its stub,
# one made with --target linux-arm64 runs under qemu-aarch64-static.
# usage: windows_package_test.sh RUNNER BUILD LINUX_BUILD PROBE_EXE [ARM64_BUILD]
set -euo pipefail
runner=$1 build=$2 linux_build=$3 probe=$4 arm64_build=${5:-}
if [ ! -f "$linux_build/kvsfx" ]; then
  echo "no Linux stub in $linux_build (build the native preset first); skipped"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-winpkg.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work" > cpack.log 2>&1) ||
  { cat "$work/cpack.log"; exit 1; }
zip=$(ls "$work"/kvsfx-*-win*.zip)
mkdir "$work/fresh" && (cd "$work/fresh" && unzip -q "$zip")
pack=$(ls "$work"/fresh/kvsfx-*/bin/kvsfx-pack.exe)
[ -f "$(dirname "$pack")/../README.md" ] || { echo "FAIL: $(basename "$zip") has no README.md"; exit 1; }

mkdir -p "$work/payload/docs" "$work/out" "$work/out-linux" "$work/temp"
cp "$probe" "$work/payload/probe.exe"
printf '#!/bin/sh\ncp docs/data.bin "$KVSFX_COPY_TO/"\n' > "$work/payload/probe"
head -c 200000 /dev/urandom > "$work/payload/docs/data.bin"
status=0
(cd "$work" && "$runner" "$pack" -C payload --run probe.exe -o out.exe > pack.log 2>&1) || status=$?
[ $status = 77 ] && { echo "the Windows programs of this build cannot run here; skipped"; exit 77; }
[ $status = 0 ] || { cat "$work/pack.log"; echo "FAIL: kvsfx-pack.exe without --stub"; exit 1; }
(cd "$work" && KVSFX_COPY_TO="Z:$work/out" timeout 300 "$runner" out.exe /S "/T:Z:$work/temp" 'docs\data.bin')
cmp "$work/payload/docs/data.bin" "$work/out/data.bin"

(cd "$work" && "$runner" "$pack" --target linux -C payload --run probe -o out.run > pack.log 2>&1) ||
  { cat "$work/pack.log"; echo "FAIL: kvsfx-pack.exe --target linux"; exit 1; }
chmod +x "$work/out.run"
(cd "$work" && KVSFX_COPY_TO="$work/out-linux" TMPDIR="$work/temp" timeout 300 ./out.run)
cmp "$work/payload/docs/data.bin" "$work/out-linux/data.bin"
[ -z "$(ls -A "$work/temp")" ] || { echo "FAIL: work folder left behind"; exit 1; }

if [ -n "$arm64_build" ] && [ -f "$arm64_build/kvsfx-linux-arm64" ]; then
  [ -f "$(dirname "$pack")/../lib/kvsfx/kvsfx-linux-arm64" ] ||
    { echo "FAIL: $(basename "$zip") lacks lib/kvsfx/kvsfx-linux-arm64"; exit 1; }
  (cd "$work" && "$runner" "$pack" --target linux-arm64 -C payload --run probe -o arm64.run > pack.log 2>&1) ||
    { cat "$work/pack.log"; echo "FAIL: kvsfx-pack.exe --target linux-arm64"; exit 1; }
  chmod +x "$work/arm64.run"  # qemu, like the kernel, starts only executable files
  rm -f "$work/out-linux/data.bin"
  (cd "$work" && KVSFX_COPY_TO="$work/out-linux" TMPDIR="$work/temp" timeout 300 qemu-aarch64-static ./arm64.run)
  cmp "$work/payload/docs/data.bin" "$work/out-linux/data.bin"
  echo "ok: --target linux-arm64 from the Windows package"
else
  echo "note: no aarch64 stub in ${arm64_build:-(none given)}; linux-arm64 not checked"
fi
echo "PASS: $(basename "$zip")"
