#!/usr/bin/env bash
# A launcher file of more than 65,535 entries: kvsfx-pack writes the Zip64
# end record and its locator, Info-ZIP unzip, 7z and Python's zipfile read
# every entry back, and so do --test and --extract (the launcher's reader).
#
# Usage: pack_zip64.sh KVSFX_PACK [EMULATOR]
set -euo pipefail

pack_exe=$1
emulator=${2:-}
password=Tq5HwR27_81m6_3yk52
# Many small files: on tmpfs where there is one.
scratch=/dev/shm
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=${TMPDIR:-/tmp}
work=$(mktemp -d "$scratch/kvsfx-pack-zip64-XXXXXX")
trap 'rm -rf "$work"' EXIT
# shellcheck source=pack_test_lib.sh
. "$(dirname "$0")/pack_test_lib.sh"

# Under Wine the Windows build's folder scan costs about 9 ms a file (over
# ten minutes for this payload), more than CI can spend; the writer is the
# same code as natively, and its Zip64 records are tested under Wine by the
# unit tests and the large-file test.
if [ -n "$emulator" ]; then echo "skipped under an emulator: 70,070 files take over ten minutes there"; exit 77; fi

# 70 folders of 1000 one-byte files: 70,070 entries.
payload=$work/payload
python3 - "$payload" <<'PY'
import os, sys
for d in range(70):
    folder = os.path.join(sys.argv[1], f'd{d:02}')
    os.makedirs(folder)
    for f in range(1000):
        with open(os.path.join(folder, f'{f:03}'), 'wb') as out:
            out.write(bytes([(d * 1000 + f) % 251]))
PY
printf 'x' > "$work/stub"

out=$work/many.bin
start=$SECONDS
if pack --reproducible --stub "@$work/stub" -C "@$payload" -o "@$out" > "$work/pack.log" 2>&1; then
  ok "packed 70,070 entries in $((SECONDS - start)) s"
else
  fail "packing 70,070 entries"; cat "$work/pack.log"; finish
fi
cut_archive "$out" "$work/many.zip" > /dev/null

python3 - "$work/many.zip" "$password" <<'PY' && ok "python: Zip64 end record, every entry read back" || fail "python"
import struct, sys, zipfile
data = open(sys.argv[1], 'rb').read()
end = data.rfind(b'PK\x05\x06')
count, size, offset = struct.unpack('<HII', data[end + 10:end + 20])
assert count == 0xFFFF and offset + size < 0xFFFFFFFF, (count, size, offset)
locator = end - 20
assert data[locator:locator + 4] == b'PK\x06\x07', 'no locator before the end record'
record = struct.unpack('<Q', data[locator + 8:locator + 16])[0]
assert record == offset + size and data[record:record + 4] == b'PK\x06\x06', 'locator points elsewhere'
assert struct.unpack('<QQQQ', data[record + 24:record + 56]) == (70070, 70070, size, offset)
z = zipfile.ZipFile(sys.argv[1])
infos = z.infolist()
assert len(infos) == 70070, len(infos)
for i in infos:
    assert b'\x01\x00' not in i.extra[:2], (i.filename, 'Zip64 field where none is needed')
    if not i.is_dir():
        d, f = int(i.filename[1:3]), int(i.filename[4:])
        assert z.read(i, pwd=sys.argv[2].encode()) == bytes([(d * 1000 + f) % 251]), i.filename
PY
unzip -q -t -P "$password" "$work/many.zip" > "$work/unzip.log" 2>&1 && ok "unzip -t" \
  || { fail "unzip -t"; tail -5 "$work/unzip.log"; }
7z t -p"$password" "$work/many.zip" > "$work/7z.log" 2>&1 && grep -q '^Files: 70000' "$work/7z.log" && ok "7z t" \
  || { fail "7z t"; tail -5 "$work/7z.log"; }

pack --test "@$out" > "$work/test.log" 2>&1 && grep -q 'All 70000 files extract with good CRCs' "$work/test.log" \
  && ok "--test" || { fail "--test"; tail -3 "$work/test.log"; }
start=$SECONDS
pack --extract "@$out" "@$work/extracted" > "$work/extract.log" 2>&1 && diff -r "$payload" "$work/extracted" \
  && ok "--extract: the same 70,070 entries in $((SECONDS - start)) s" || { fail "--extract"; tail -3 "$work/extract.log"; }

finish
