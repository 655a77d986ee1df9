#!/usr/bin/env bash
# Builds everything, packs examples/hello into a launcher file with kvsfx-pack
# and runs it with two arguments (one with a space); then shows that the work
# folder is gone. Does the same with the Windows launcher under Wine (/S).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== building (native)"
cmake --preset native >/dev/null
cmake --build --preset native --target kvsfx kvsfx-pack hello >/dev/null
native=build/native

stage=$(mktemp -d)
temp=$(mktemp -d)
trap 'rm -rf "$stage" "$temp"' EXIT

cp -r examples/hello/payload/. "$stage/"
cp "$native/examples/hello" "$stage/hello"
"$native/kvsfx-pack" --stub "$native/kvsfx" -C "$stage" --title "kvsfx demo" --run hello \
    -o "$native/hello-launcher"
echo "== made $native/hello-launcher ($(stat -c %s "$native/hello-launcher") bytes)"
"$native/kvsfx-pack" --info "$native/hello-launcher"

echo "== running: hello-launcher \"first argument\" second   (temporary folder $temp)"
TMPDIR="$temp" "$native/hello-launcher" "first argument" second
echo "== temporary folder afterwards: $(ls -A "$temp" | wc -l) entries (the work folder is gone)"

# The Windows launcher: the 32-bit product where 32-bit Wine runs, else the
# same sources built for x86_64.
if /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then win=win32; else win=win64; fi
echo "== building ($win)"
cmake --preset "$win" >/dev/null
cmake --build --preset "$win" --target kvsfx hello >/dev/null
winstage=$(mktemp -d)
trap 'rm -rf "$stage" "$temp" "$winstage"' EXIT
cp -r examples/hello/payload/. "$winstage/"
cp "build/$win/examples/hello.exe" "$winstage/hello.exe"
"$native/kvsfx-pack" --stub "build/$win/kvsfx.exe" -C "$winstage" --title "kvsfx demo" --run hello.exe \
    -o "build/$win/hello-launcher.exe"
echo "== made build/$win/hello-launcher.exe; running it under Wine with /S"
export WINEPREFIX="$PWD/build/$win/wineprefix"
wintemp=$(mktemp -d)
trap 'rm -rf "$stage" "$temp" "$winstage" "$wintemp"' EXIT
mkdir -p "$wintemp/parent"
# The Windows program has no console of its own here: it writes its report
# to the file that HELLO_OUT names.
HELLO_OUT="Z:${wintemp//\//\\}\\hello.txt" bash cmake/wine-run.sh "build/$win/hello-launcher.exe" \
    /S "first argument" second "/T:Z:${wintemp//\//\\}\\parent" 2>/dev/null
cat "$wintemp/hello.txt"
echo "== work folder parent afterwards: $(ls -A "$wintemp/parent" | wc -l) entries (the work folder is gone)"
