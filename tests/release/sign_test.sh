#!/usr/bin/env bash
# A launcher file signed after packing (osslsigncode, with a certificate made
# here by openssl) verifies, runs under Wine with /S (the program runs, the
# payload arrives byte for byte, the work folder is gone) and is read by
# --info and --test. A signed stub is refused by kvsfx-pack.
# usage: sign_test.sh RUNNER KVSFX-PACK.EXE STUB.EXE PROBE.EXE   (exit 77: skipped)
set -euo pipefail
runner=$1 pack=$2 stub=$3 probe=$4
for tool in osslsigncode openssl; do
  command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }
cd "$work"
mkdir -p payload out temp
cp "$probe" payload/probe.exe
head -c 300000 /dev/urandom > payload/data.bin

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=kvsfx test signer" -addext extendedKeyUsage=codeSigning 2> /dev/null
sign() { osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n "kvsfx test" -in "$1" -out "$2" > /dev/null; }

set +e
"$runner" "$pack" --stub "$(win "$stub")" -C "$(win "$work/payload")" --run probe.exe -o "$(win "$work/setup.exe")" > pack.log 2>&1
status=$?
set -e
[ $status = 77 ] && { cat pack.log; exit 77; }
[ $status = 0 ] || { cat pack.log; exit 1; }
sign setup.exe signed.exe
osslsigncode verify -CAfile cert.pem signed.exe > verify.log 2>&1 || { cat verify.log; echo "FAIL: verify"; exit 1; }

KVSFX_COPY_TO="$(win "$work/out")" "$runner" "$work/signed.exe" /S "/T:$(win "$work/temp")" data.bin
cmp payload/data.bin out/data.bin || { echo "FAIL: payload not byte-identical"; exit 1; }
[ -z "$(ls -A temp)" ] || { echo "FAIL: work folder left behind"; ls -R temp; exit 1; }

"$runner" "$pack" --info "$(win "$work/signed.exe")" | tr -d "\r" | grep -q "^Run: *probe.exe$" || { echo "FAIL: --info"; exit 1; }
"$runner" "$pack" --test "$(win "$work/signed.exe")" > /dev/null || { echo "FAIL: --test"; exit 1; }

sign "$stub" signed-stub.exe
if "$runner" "$pack" --stub "$(win "$work/signed-stub.exe")" -C "$(win "$work/payload")" --run probe.exe \
     -o "$(win "$work/bad.exe")" 2> refused.log; then
  echo "FAIL: a signed stub was accepted"; exit 1
fi
grep -q "is signed" refused.log || { cat refused.log; echo "FAIL: no clear message"; exit 1; }
[ ! -e bad.exe ] || { echo "FAIL: output written"; exit 1; }
echo "PASS"
