#!/usr/bin/env bash
# Archives for the archive reader tests, written by real producers
# (Info-ZIP zip, 7z, Python's zipfile) from one payload tree, plus damaged and
# unusual archives rewritten byte by byte. Output: $1/zip/.
set -euo pipefail
out=${1:?usage: gen_zip.sh OUTDIR}/zip
here=$(cd "$(dirname "$0")" && pwd)
pw=Tq5HwR27_81m6_3yk52
mkdir -p "$out"
python3 "$here/zip_forge.py" payload "$out/payload"
python3 "$here/zip_forge.py" archives "$out"

cd "$out/payload"
# Fixed times so that every producer stores the same stamps.
find . -exec touch -h -d '2022-03-04 05:06:08' {} +
zip -q -r -X -0 "$out/izip_stored.zip" .
zip -q -r -X -6 "$out/izip_6.zip" .
zip -q -r -X -9 "$out/izip_9.zip" .
zip -q -r -X -e -P "$pw" "$out/izip_crypt.zip" .
zip -q -r -X -0 -e -P "$pw" "$out/izip_crypt_stored.zip" .
# Streamed to standard output: data descriptors after every entry.
find . -type f | sort | zip -q -X - -@ > "$out/izip_stream.zip"
find . -type f | sort | zip -q -X -e -P "$pw" - -@ > "$out/izip_stream_crypt.zip"
# From a pipe to a pipe: no sizes known in advance. -fz- keeps Zip64 records
# (not read by the archive reader) out of the headers and descriptors.
cat readme.txt | zip -q -X -fz- | cat > "$out/izip_pipe.zip"
7z a -bd -bso0 -tzip -mem=ZipCrypto -p"$pw" "$out/7z_crypt.zip" . > /dev/null
7z a -bd -bso0 -tzip -mx=0 "$out/7z_stored.zip" . > /dev/null
python3 "$here/zip_forge.py" crypt "$out"

# An archive behind a real executable image.
cat /bin/true "$out/izip_6.zip" > "$out/behind_exe.zip"
