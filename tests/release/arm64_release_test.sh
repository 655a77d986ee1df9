#!/usr/bin/env bash
# The aarch64 stub as it ships: installed (its "stubs" component) into one
# prefix with the native build, the installed x86-64 kvsfx-pack makes a
# launcher file with --target linux-arm64 that runs under emulation with its
# payload identical (CRC-32 of every file as the started program sees it);
# --info names each launcher file's target; linux and linux-x86_64 stay the
# x86-64 stub; the native build's .deb and .tar.gz carry the aarch64 stub.
# usage: arm64_release_test.sh RUNNER ARM64_BUILD NATIVE_BUILD PROBE_SCRIPT
set -euo pipefail
runner=$1 arm64_build=$2 native_build=$3 probe=$4
here="$(cd "$(dirname "$0")" && pwd)"
if [ ! -x "$native_build/kvsfx-pack" ] || [ ! -f "$native_build/cmake_install.cmake" ]; then
  echo "no native build in $native_build (build the native preset first); skipped"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-arm64.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$native_build" --prefix "$prefix" > /dev/null
cmake --install "$arm64_build" --prefix "$prefix" --component stubs > /dev/null
pack=$prefix/bin/kvsfx-pack
failed=0
fail() { echo "FAIL: $*"; failed=1; }
[ "$(od -An -tx1 -j18 -N2 "$pack" | tr -d ' ')" = 3e00 ] || fail "the installed kvsfx-pack is not the x86-64 one"

mkdir -p "$work/payload/docs/deeper" "$work/temp"
cp "$probe" "$work/payload/probe"
head -c 3000000 /dev/urandom > "$work/payload/docs/data.bin"
: > "$work/payload/docs/deeper/empty.txt"
(cd "$work" && "$pack" --target linux-arm64 -C payload --run probe -o arm64.run > /dev/null)
(cd "$work" && "$pack" --info arm64.run) | grep -qx 'Target: *linux-arm64 (ELF, aarch64)' ||
  fail "--info does not name linux-arm64"
(cd "$work/payload" && KVSFX_PROBE_OUT="$work/probe.txt" TMPDIR="$work/temp" "$runner" "$work/arm64.run" "a b")
grep -qx 'arg a b' "$work/probe.txt" || fail "arguments did not arrive"
for f in docs/data.bin docs/deeper/empty.txt; do
  crc=$(python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$work/payload/$f")
  grep -qx "crc $crc $f" "$work/probe.txt" || fail "$f did not arrive whole (crc $crc)"
done
[ -z "$(ls -A "$work/temp")" ] || fail "work folder left behind"

# linux and linux-x86_64 name one target, the x86-64 stub.
for target in linux linux-x86_64; do
  (cd "$work" && "$pack" --target $target -C payload --run probe -o x86.run > /dev/null)
  (cd "$work" && "$pack" --info x86.run) | grep -qx 'Target: *linux-x86_64 (ELF, x86-64)' ||
    fail "--target $target is not the x86-64 stub"
done

# A stub of another machine under the aarch64 stub's name is refused.
cp "$prefix/lib/kvsfx/kvsfx" "$prefix/lib/kvsfx/kvsfx-linux-arm64"
if (cd "$work" && "$pack" --target linux-arm64 -C payload --run probe -o wrong.run > /dev/null 2> wrong.err); then
  fail "an x86-64 stub was taken for linux-arm64"
else
  grep -q 'is linux-x86_64 (ELF, x86-64), not a stub for linux-arm64' "$work/wrong.err" ||
    fail "refusal: $(cat "$work/wrong.err")"
fi
[ ! -e "$work/wrong.run" ] || fail "a launcher file was written with the wrong stub"

bash "$here/package_test.sh" "$native_build" "$(dirname "$native_build")/win32" "$arm64_build" || failed=1
[ $failed = 0 ] && echo "PASS"
exit $failed
