#!/usr/bin/env bash
# A consumer project configured against the installed prefix: find_package(kvsfx)
# and kvsfx_add_launcher make a launcher file that runs, and make it again when
# a payload file changes or a new one appears.
# usage: consumer_test.sh PREFIX PROBE
set -euo pipefail
prefix=$1 probe=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$here/consumer" "$work/source"
mkdir -p "$work/source/payload" "$work/out" "$work/temp"
cp "$probe" "$work/source/payload/probe"
echo "first" > "$work/source/payload/note.txt"

cmake -S "$work/source" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build "$work/build" > /dev/null
run() {
  (cd "$work/source/payload" && KVSFX_COPY_TO="$work/out" TMPDIR="$work/temp" "$work/build/hello.run" "$@")
}
run note.txt
[ "$(cat "$work/out/note.txt")" = first ] || { echo "FAIL: first run"; exit 1; }
"$prefix/bin/kvsfx-pack" --info "$work/build/hello.run" | grep -q "Title: *Hello from a consumer"

# A changed file and a new one: the next build makes the launcher file again.
sleep 1
echo "second" > "$work/source/payload/note.txt"
echo "new" > "$work/source/payload/added.txt"
cmake --build "$work/build" > /dev/null
run note.txt added.txt
[ "$(cat "$work/out/note.txt")" = second ] || { echo "FAIL: changed payload not packed again"; exit 1; }
[ "$(cat "$work/out/added.txt")" = new ] || { echo "FAIL: new payload file not packed"; exit 1; }
echo "PASS"
