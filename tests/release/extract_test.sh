#!/usr/bin/env bash
# kvsfx-pack --extract writes a launcher file's payload as the launcher would
# (password, path safety) and starts nothing; --list shows the entries.
# usage: extract_test.sh KVSFX-PACK
set -euo pipefail
pack=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-extract.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# Nothing here starts the launcher file: any stub will do.
head -c 4096 /dev/zero > stub
stub=$work/stub
mkdir -p payload/docs
head -c 300000 /dev/urandom > payload/docs/data.bin
printf '#!/bin/sh\ntouch "%s/started"\n' "$work" > payload/run.sh
chmod 755 payload/run.sh
"$pack" --stub "$stub" -C payload --run run.sh -o launcher > /dev/null

"$pack" --list launcher | grep -q ' docs/data.bin$'
"$pack" --extract launcher out > /dev/null
diff -r payload out
[ -x out/run.sh ] || { echo "FAIL: program lost its execute bit"; exit 1; }
[ ! -e started ] || { echo "FAIL: --extract started the program"; exit 1; }

# Only into a new or empty folder: nothing already there is overwritten.
if "$pack" --extract launcher out 2> err.txt; then echo "FAIL: extracted into a full folder"; exit 1; fi
grep -q "not empty" err.txt

# An entry that would leave the folder ends the extraction; nothing is kept.
python3 - <<'PY'
import zipfile
with zipfile.ZipFile("unsafe.zip", "w") as z:
    z.writestr("good.txt", "fine")
    z.writestr("../escaped.txt", "outside")
PY
"$pack" --stub "$stub" --zip unsafe.zip --no-password -o unsafe > /dev/null 2>&1
if "$pack" --extract unsafe target/sub 2> err.txt; then echo "FAIL: unsafe entry extracted"; exit 1; fi
grep -q "leaves the target folder" err.txt
[ ! -e target/escaped.txt ] && [ ! -e target/sub ] || { echo "FAIL: something was kept"; ls -R target; exit 1; }
echo "PASS"
