#!/usr/bin/env bash
# Seeds for fuzz_zip: the archive reader's generated test archives (those
# below 100 KiB, Zip64, LZMA and XZ ones among them) plus a few small encrypted and streamed ones, written to $1.
# With a build folder as $2 the archives come from its testdata (ctest's
# testdata fixture makes them); otherwise they are generated here.
set -euo pipefail
out=${1:?usage: make_seeds.sh OUTDIR [BUILD_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
src=""
if [ -n "${2:-}" ] && [ -d "$2/testdata/zip" ]; then
  src=$2/testdata/zip
else
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  bash "$here/../../../tests/data/gen_zip.sh" "$tmp" > /dev/null
  python3 "$here/../../../tests/data/gen_zip64.py" "$tmp"
  python3 "$here/../../../tests/data/gen_lzma.py" "$tmp"
  src=$tmp/zip
fi
mkdir -p "$out"
find "$src" -maxdepth 1 -name '*.zip' -size -100k -exec cp {} "$out/" \;
work=$(mktemp -d)
(
  cd "$work"
  pw=Tq5HwR27_81m6_3yk52
  for i in $(seq 50); do echo "hello world $i"; done > s.txt
  zip -q -e -P "$pw" "$out/enc_small.zip" s.txt
  zip -q -0 -e -P "$pw" "$out/enc_stored.zip" s.txt
  zip -q -e -P "$pw" - s.txt > "$out/enc_stream.zip"
  zip -q - s.txt | cat > "$out/stream.zip"
)
rm -rf "$work"
ls "$out" | wc -l
