#!/usr/bin/env bash
# A file of 4 GiB and one byte, made sparse so that it costs no memory and
# little disk time, packed with --no-password: the local and central headers
# carry its sizes in Zip64 fields, and Python's zipfile reads it back with
# its CRC.
#
# Usage: pack_large.sh KVSFX_PACK [EMULATOR]
set -euo pipefail

pack_exe=$1
emulator=${2:-}
# tmpfs has no room for sparse files of this size on every machine: a disk.
work=$(mktemp -d "/tmp/kvsfx-pack-large-XXXXXX")
trap 'rm -rf "$work"' EXIT
# shellcheck source=pack_test_lib.sh
. "$(dirname "$0")/pack_test_lib.sh"

skip_unrunnable_windows_build
if [ -n "$emulator" ] && [ -z "$windows" ]; then
  echo "skipped under qemu: the aarch64 kvsfx-pack runs the native build's code; 4 GiB take minutes there"
  exit 77
fi

mkdir "$work/payload"
big=$work/payload/big.bin
truncate -s $((4 << 30)) "$big"
printf 'Z' >> "$big"
echo "after the large file" > "$work/payload/small.txt"
printf 'x' > "$work/stub"

start=$SECONDS
pack --no-password --stub "@$work/stub" -C "@$work/payload" -o "@$work/large.bin" > "$work/pack.log" 2>&1 \
  && ok "packed 4 GiB + 1 in $((SECONDS - start)) s, $(stat -c %s "$work/large.bin") bytes" \
  || { fail "packing"; cat "$work/pack.log"; finish; }
cut_archive "$work/large.bin" "$work/large.zip" > /dev/null

start=$SECONDS
python3 - "$work/large.zip" <<'PY' && ok "python: Zip64 fields, data and CRC in $((SECONDS - start)) s" || fail "python"
import struct, sys, zipfile
size = (4 << 30) + 1
z = zipfile.ZipFile(sys.argv[1])
big, small = z.getinfo('big.bin'), z.getinfo('small.txt')
# Central header: the uncompressed size alone is in the Zip64 field.
assert big.file_size == size and big.compress_size < 0xFFFFFFFF, (big.file_size, big.compress_size)
assert big.extra[:4] == b'\x01\x00\x08\x00' and struct.unpack('<Q', big.extra[4:12])[0] == size, big.extra
assert big.extract_version == 45 and big.create_version == 45 and not small.extra
# Local header: both sizes, the 32-bit fields marked.
with open(sys.argv[1], 'rb') as f:
    f.seek(big.header_offset)
    local = f.read(30 + 7 + 20)
assert struct.unpack('<II', local[18:26]) == (0xFFFFFFFF, 0xFFFFFFFF), local[18:26]
assert local[37:41] == b'\x01\x00\x10\x00'
assert struct.unpack('<QQ', local[41:57]) == (size, big.compress_size), local[41:57]
# The data, read to its end: zipfile checks the CRC there.
total, last = 0, b''
with z.open(big) as f:
    while chunk := f.read(1 << 24):
        if chunk.strip(b'\0'):
            last = chunk.strip(b'\0')
        total += len(chunk)
assert total == size and last == b'Z', (total, last)
assert z.read(small) == b'after the large file\n'
PY

finish
