#!/usr/bin/env bash
# Packs folders with kvsfx-pack and reads the results back with real tools:
# Info-ZIP unzip, 7z and Python's zipfile, on the archive part cut out of the
# launcher file. Also checks the bytes of the layout, the refusals (exit code,
# no output left) and --reproducible.
#
# Usage: pack_roundtrip.sh KVSFX_PACK [EMULATOR]
# With an emulator the program is the Windows build (wine-run.sh: paths are
# handed over as Z:\ paths and Unix modes are not checked) or the aarch64
# build (qemu-aarch64-run.sh).
set -euo pipefail
# Names below are UTF-8; the tools read them so only in a UTF-8 locale.
export LC_ALL=C.UTF-8

pack_exe=$1
emulator=${2:-}
password=Tq5HwR27_81m6_3yk52
work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-pack-test-XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=pack_test_lib.sh
. "$(dirname "$0")/pack_test_lib.sh"

config_text() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
at = data.find(bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B]), 100000)
length = int.from_bytes(data[at + 6:at + 10], 'little')
sys.stdout.write(data[at + 10:at + 10 + length].decode('latin-1').replace('\r\n', '|'))
PY
}

skip_unrunnable_windows_build

# --- payload -----------------------------------------------------------
payload=$work/payload
mkdir -p "$payload/bin" "$payload/docs/empty folder" "$payload/data/deep/er"
printf '#!/bin/sh\necho started\n' > "$payload/bin/run.sh"
chmod 755 "$payload/bin/run.sh"
seq 1 200000 > "$payload/data/numbers.txt"
head -c 3000000 /dev/urandom > "$payload/data/deep/er/noise.bin"
: > "$payload/data/empty.txt"
echo "read only" > "$payload/docs/readme file.txt"
chmod 444 "$payload/docs/readme file.txt"
# Names beyond ASCII: Latin-1 range, CJK, an emoji (a surrogate pair in
# UTF-16) and a combining accent.
mkdir "$payload/data/日本語"
echo "cv" > "$payload/docs/résumé.txt"
echo "smile" > "$payload/data/日本語/😀 e"$'\xcc\x81'".txt"
touch -d '2021-03-04 05:06:07' "$payload/data/numbers.txt"
touch -d '2019-12-31 23:59:58' "$payload/bin/run.sh"

# A fake stub (the real ones are the launcher programs): 3000 bytes, executable.
python3 -c "import sys; sys.stdout.buffer.write(b'MZfake-stub ' * 250)" > "$work/stub"
chmod 755 "$work/stub"

# --- folder round trip ----------------------------------------------------
out=$work/launcher.bin
if pack --stub "@$work/stub" -C "@$payload" -o "@$out" --title "Tom & Jerry's <\"show\">" --run bin/run.sh \
     > "$work/pack.log" 2>&1; then ok "packed a folder"; else fail "packing a folder"; cat "$work/pack.log"; fi
read -r marker length < <(cut_archive "$out" "$work/a.zip")
[ "$marker" = 100000 ] && ok "marker at 100000 behind a short stub" || fail "marker at $marker"
cmp -s -n 3000 "$out" "$work/stub" && ok "stub bytes first" || fail "stub bytes differ"
[ "$(head -c 4 "$work/a.zip" | od -An -tx1 | tr -d ' ')" = 504b0304 ] && ok "archive directly behind the text" \
  || fail "no local header behind the text"
expected='<KV_ZCD>|<Message/>|<Title>Tom &amp; Jerry&apos;s &lt;&quot;show&quot;&gt;</Title>|<Run>bin/run.sh</Run>|<Prog>1</Prog>|<UsePW>1</UsePW>|</KV_ZCD>|'
[ "$(config_text "$out")" = "$expected" ] && ok "configuration text" || fail "configuration text: $(config_text "$out")"
[ "$length" = $((${#expected} + 7)) ] && ok "L = $length" || fail "L = $length"

check_tree() {  # $1 extracted folder, $2 tool name
  if diff -r "$payload" "$1" > /dev/null; then ok "$2: same bytes and names"; else fail "$2: trees differ"; fi
  (cd "$payload" && find . -mindepth 1 -type d | sort) > "$work/dirs.want"
  (cd "$1" && find . -mindepth 1 -type d | sort) > "$work/dirs.got"
  cmp -s "$work/dirs.want" "$work/dirs.got" && ok "$2: folders (empty ones too)" || fail "$2: folders differ"
  local f want got
  while IFS= read -r f; do
    want=$(stat -c %Y "$payload/$f"); got=$(stat -c %Y "$1/$f")
    if [ $((want - want % 2)) != "$got" ]; then fail "$2: time of $f: $got, want $((want - want % 2))"; fi
    if [ -z "$windows" ] && [ "$2" != 7z ]; then
      [ "$(stat -c %a "$payload/$f")" = "$(stat -c %a "$1/$f")" ] || fail "$2: mode of $f"
    fi
  done < <(cd "$payload" && find . -type f | sed 's|^\./||')
  ok "$2: times checked"
}

mkdir "$work/x-unzip"
if unzip -q -P "$password" "$work/a.zip" -d "$work/x-unzip"; then check_tree "$work/x-unzip" unzip; else fail "unzip"; fi
mkdir "$work/x-7z"
if 7z x -y -p"$password" -o"$work/x-7z" "$work/a.zip" > /dev/null; then
  chmod -R u+w "$work/x-7z"; diff -r "$payload" "$work/x-7z" > /dev/null && ok "7z: same bytes" || fail "7z: trees differ"
else fail "7z"; fi
python3 - "$work/a.zip" "$password" "${windows:+0}" <<'PY' && ok "python: every entry encrypted, CRCs good, host system, UTF-8 flag" || fail "python check"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
host = 0 if sys.argv[3] == '0' else 3
for i in z.infolist():
    assert i.create_system == host, (i.filename, i.create_system)
    assert bool(i.flag_bits & 0x800) == (not i.filename.isascii()), i.filename
    assert (i.extra[:2] == b'\x75\x70') == (not i.filename.isascii()), i.filename  # Unicode Path field
    assert (i.flag_bits & 1) == (0 if i.is_dir() else 1), i.filename
    assert not i.flag_bits & 8, "no data descriptor"
    if not i.is_dir():
        z.read(i, pwd=sys.argv[2].encode())
PY

# --- --info and --test: the launcher's own readers ------------------------
if pack --info "@$out" > "$work/info.crlf" 2>&1; then
  tr -d '\r' < "$work/info.crlf" > "$work/info.txt"  # Windows text mode ends lines with CR LF
  grep -q "^Title: *Tom & Jerry's <\"show\">$" "$work/info.txt" && grep -q '^Run: *bin/run.sh' "$work/info.txt" \
    && grep -q '^Prog: *1' "$work/info.txt" && grep -q '^UsePW: *1' "$work/info.txt" \
    && grep -q '^Entries: *14' "$work/info.txt" && grep -Eq "yes +data.日本語.😀 e"$'\xcc\x81'"\.txt$" "$work/info.txt" && grep -Eq 'deflated +yes +data.numbers\.txt' "$work/info.txt" \
    && grep -Eq 'folder +no +docs.empty folder' "$work/info.txt" \
    && ok "--info shows configuration and entries" || { fail "--info output"; cat "$work/info.txt"; }
else fail "--info"; cat "$work/info.crlf"; fi
pack --test "@$out" > "$work/test.txt" 2>&1 && grep -q 'All 7 files' "$work/test.txt" \
  && ok "--test passes a good launcher file" || { fail "--test"; cat "$work/test.txt"; }
# One byte changed inside the stored noise: the CRC check catches it.
python3 - "$out" "$work/damaged.bin" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
at = d.find(b'noise.bin') + len('noise.bin') + 1000000
d[at] ^= 0x20
open(sys.argv[2], 'wb').write(d)
PY
rc=0; pack --test "@$work/damaged.bin" > "$work/test.txt" 2>&1 || rc=$?
[ "$rc" = 1 ] && grep -q 'FAILED.*noise.bin' "$work/test.txt" && grep -q '^1 of 7 files failed' "$work/test.txt" \
  && ok "--test finds a damaged entry and tests the others" \
  || { fail "--test on a damaged file: exit $rc"; cat "$work/test.txt"; }
rc=0; pack --test "@$work/stub" > "$work/test.txt" 2>&1 || rc=$?
[ "$rc" = 1 ] && ok "--test refuses a file without block" || fail "--test without block: exit $rc"

# A title beyond ASCII is written as UTF-8 and shown so.
pack --stub "@$work/stub" -C "@$payload" -o "@$work/title.bin" --title "Łódź 日本 😀" --run bin/run.sh > /dev/null
pack --info "@$work/title.bin" | tr -d '\r' | grep -qx 'Title: *Łódź 日本 😀' \
  && grep -aqF '<Title>Łódź 日本 😀</Title>' "$work/title.bin" \
  && ok "non-ASCII title in UTF-8" || fail "non-ASCII title"

# --- other options ----------------------------------------------------------
pack --stub "@$work/stub" -C "@$payload" -o "@$work/plain.bin" --no-password --no-progress --run bin/run.sh > /dev/null
cut_archive "$work/plain.bin" "$work/plain.zip" > /dev/null
[ "$(config_text "$work/plain.bin")" = '<KV_ZCD>|<Message/>|<Title></Title>|<Run>bin/run.sh</Run>|<Prog>0</Prog>|<UsePW>0</UsePW>|</KV_ZCD>|' ] \
  && ok "--no-password --no-progress" || fail "configuration for --no-password --no-progress"
unzip -q -t "$work/plain.zip" > /dev/null && ok "unencrypted archive tests fine without a password" || fail "plain archive"

# Launch options: two more lines before the end tag, shown by --info.
pack --stub "@$work/stub" -C "@$payload" -o "@$work/opts.bin" --wait-tree --pass-exit-code --run bin/run.sh > /dev/null
[ "$(config_text "$work/opts.bin")" = '<KV_ZCD>|<Message/>|<Title></Title>|<Run>bin/run.sh</Run>|<Prog>1</Prog>|<UsePW>1</UsePW>|<WaitTree>1</WaitTree>|<PassExitCode>1</PassExitCode>|</KV_ZCD>|' ] \
  && ok "--wait-tree --pass-exit-code" || fail "configuration for --wait-tree --pass-exit-code: $(config_text "$work/opts.bin")"
pack --info "@$work/opts.bin" | tr -d '\r' > "$work/opts.txt"
grep -q '^WaitTree: *1 ' "$work/opts.txt" && grep -q '^PassExitCode: *1 ' "$work/opts.txt" \
  && grep -q '^WaitTree: *0 ' "$work/info.txt" && grep -q '^PassExitCode: *0 ' "$work/info.txt" \
  && ok "--info shows WaitTree and PassExitCode" || { fail "--info launch options"; cat "$work/opts.txt"; }

# Reproducible: the same bytes twice, at a fixed time.
pack --reproducible --stub "@$work/stub" -C "@$payload" -o "@$work/r1.bin" --run bin/run.sh > /dev/null
pack --reproducible --stub "@$work/stub" -C "@$payload" -o "@$work/r2.bin" --run bin/run.sh > /dev/null
cmp -s "$work/r1.bin" "$work/r2.bin" && ok "--reproducible gives the same bytes" || fail "--reproducible differs"
cut_archive "$work/r1.bin" "$work/r.zip" > /dev/null
unzip -Z -T "$work/r.zip" | awk 'NF > 7 {print $7}' | sort -u | grep -qx 19800101.000000 \
  && ok "--reproducible times are 1980-01-01" || fail "--reproducible times"

# Long stub: marker directly behind it; the output gets the stub's mode.
python3 -c "import sys; sys.stdout.buffer.write(b'longstub' * 25000 + b'x')" > "$work/longstub"
chmod 644 "$work/longstub"
pack --stub "@$work/longstub" -C "@$payload" -o "@$work/long.bin" --run bin/run.sh > /dev/null
[ "$(cut_archive "$work/long.bin" /dev/null | cut -d' ' -f1)" = 200001 ] && ok "marker behind a long stub" || fail "long stub"
if [ -z "$windows" ]; then
  [ "$(stat -c %a "$out")" = 755 ] && [ "$(stat -c %a "$work/long.bin")" = 644 ] \
    && ok "output takes the stub's mode" || fail "output mode"
fi

# An existing archive made by Info-ZIP, appended unchanged.
(cd "$payload" && zip -q -r -P "$password" "$work/info.zip" .)
pack --stub "@$work/stub" --zip "@$work/info.zip" -o "@$work/z.bin" --run bin/run.sh > /dev/null 2> "$work/z.err"
cut_archive "$work/z.bin" "$work/z.zip" > /dev/null
cmp -s "$work/info.zip" "$work/z.zip" && ok "--zip appended unchanged" || fail "--zip changed the archive"
[ ! -s "$work/z.err" ] && ok "no warning for an encrypted archive with UsePW 1" || fail "unexpected: $(cat "$work/z.err")"
pack --stub "@$work/stub" --zip "@$work/info.zip" -o "@$work/z.bin" --no-password --run bin/run.sh > /dev/null 2> "$work/z.err"
grep -q 'warning:.*encrypted.*fail' "$work/z.err" && ok "warning for encrypted entries with UsePW 0" || fail "no warning (UsePW 0)"
rc=0; pack --test "@$work/z.bin" > "$work/test.txt" 2>&1 || rc=$?
[ "$rc" = 1 ] && grep -q 'FAILED' "$work/test.txt" && ok "--test fails encrypted entries under UsePW 0" || fail "--test UsePW 0: exit $rc"
(cd "$payload" && zip -q -r "$work/open.zip" .)
pack --stub "@$work/stub" --zip "@$work/open.zip" -o "@$work/z.bin" --run bin/run.sh > /dev/null 2> "$work/z.err"
grep -q 'warning:.*unencrypted' "$work/z.err" && ok "warning for unencrypted entries with UsePW 1" || fail "no warning (UsePW 1)"

# The stub beside kvsfx-pack is the default, chosen by --target; the default
# is the stub of the machine kvsfx-pack itself runs on.
mkdir "$work/tools"
cp "$pack_exe" "$work/tools/"
printf 'LINUXSTUB' > "$work/tools/kvsfx"
printf 'ARM64STUB' > "$work/tools/kvsfx-linux-arm64"
printf 'WINDOWSSTUB' > "$work/tools/kvsfx.exe"
pack_exe_saved=$pack_exe
pack_exe=$work/tools/$(basename "$pack_exe")
default_stub=LINUXSTUB
[ -n "$windows" ] && default_stub=WINDOWSSTUB
[ "$(od -An -tx1 -j18 -N2 "$pack_exe" | tr -d ' ')" = b700 ] && default_stub=ARM64STUB
for choice in windows:WINDOWSSTUB linux:LINUXSTUB linux-x86_64:LINUXSTUB linux-arm64:ARM64STUB :$default_stub; do
  target=${choice%%:*} want=${choice#*:}
  pack -C "@$payload" -o "@$work/d.bin" ${target:+--target "$target"} --run bin/run.sh > /dev/null
  [ "$(head -c ${#want} "$work/d.bin")" = "$want" ] || fail "--target '$target' took $(head -c 11 "$work/d.bin")"
done
ok "stub beside kvsfx-pack by --target"
pack_exe=$pack_exe_saved

# --- LZMA and XZ entries: --zip takes them, --test and --extract read them --
# Python writes LZMA with the end marker, 7z LZMA without it and XZ; the XZ
# entry is encrypted by 7z.
mkdir -p "$work/lz/tree/sub"
seq 1 30000 > "$work/lz/tree/numbers.txt"
head -c 70000 /dev/urandom > "$work/lz/tree/sub/noise.bin"
seq 5 7 300000 > "$work/lz/tree/sub/text.txt"
python3 - "$work/lz" <<'PY'
import os, sys, zipfile
root = sys.argv[1]
with zipfile.ZipFile(f'{root}/lz.zip', 'w', zipfile.ZIP_LZMA) as z:
    for name in ('numbers.txt', 'sub/noise.bin'):
        z.write(os.path.join(root, 'tree', name), 'py/' + name)
PY
(cd "$work/lz/tree" && 7z a -bd -bso0 -tzip -mm=LZMA:eos=off "$work/lz/lz.zip" numbers.txt > /dev/null \
  && 7z a -bd -bso0 -tzip -mm=XZ -mem=ZipCrypto -p"$password" "$work/lz/lz.zip" sub/text.txt > /dev/null) \
  || fail "7z could not add LZMA and XZ entries"
lz=$work/lz/launcher.bin
if pack --stub "@$work/stub" --zip "@$work/lz/lz.zip" -o "@$lz" --run numbers.txt > "$work/lz/pack.log" 2>&1; then
  ok "--zip takes LZMA and XZ entries"
  pack --list "@$lz" | tr -d '\r' > "$work/lz/list.txt" || true
  [ "$(grep -c ' lzma ' "$work/lz/list.txt")" = 3 ] && [ "$(grep -c ' xz ' "$work/lz/list.txt")" = 1 ] \
    && ok "--list names the methods" || { fail "--list methods"; cat "$work/lz/list.txt"; }
  pack --test "@$lz" > "$work/lz/test.txt" 2>&1 && grep -q 'All 4 files' "$work/lz/test.txt" \
    && ok "--test reads LZMA and XZ entries" || { fail "--test LZMA/XZ"; cat "$work/lz/test.txt"; }
  if pack --extract "@$lz" "@$work/lz/out" > "$work/lz/extract.txt" 2>&1 \
     && cmp -s "$work/lz/out/py/numbers.txt" "$work/lz/tree/numbers.txt" \
     && cmp -s "$work/lz/out/py/sub/noise.bin" "$work/lz/tree/sub/noise.bin" \
     && cmp -s "$work/lz/out/numbers.txt" "$work/lz/tree/numbers.txt" \
     && cmp -s "$work/lz/out/sub/text.txt" "$work/lz/tree/sub/text.txt"; then
    ok "--extract writes LZMA and XZ entries byte for byte"
  else fail "--extract LZMA/XZ"; cat "$work/lz/extract.txt"; fi
else fail "--zip with LZMA and XZ entries"; cat "$work/lz/pack.log"; fi

# --- --extract of a damaged launcher file: the entry named, nothing kept ---
pack --stub "@$work/stub" -C "@$payload" -o "@$work/damaged.bin" --run bin/run.sh > /dev/null
python3 - "$work/damaged.bin" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(b'data/numbers.txt')  # the local header's name comes first
extra = struct.unpack('<H', data[at - 2:at])[0]
data[at + len('data/numbers.txt') + extra + 2000] ^= 0x55
open(sys.argv[1], 'wb').write(data)
PY
if pack --extract "@$work/damaged.bin" "@$work/damaged-out" > "$work/damaged.txt" 2>&1; then
  fail "--extract of a damaged entry succeeded"
elif grep -Eq "cannot extract 'data[/\\]numbers\.txt' from .*nothing was kept" "$work/damaged.txt" \
     && [ ! -e "$work/damaged-out" ]; then
  ok "--extract names the damaged entry and keeps nothing"
else fail "--extract of a damaged entry"; cat "$work/damaged.txt"; fi

# --- refusals: exit code and nothing left behind ---------------------------
expect_exit() {  # $1 code, $2 description, rest: arguments
  local want=$1 what=$2; shift 2
  mkdir -p "$work/refuse"
  local before after rc=0
  before=$(ls -A "$work/refuse")
  pack "$@" > "$work/refuse.out" 2> "$work/refuse.err" || rc=$?
  after=$(ls -A "$work/refuse")
  if [ "$rc" != "$want" ]; then fail "$what: exit $rc, want $want"; return; fi
  if [ "$want" != 0 ] && [ "$before" != "$after" ]; then fail "$what: left files behind: $after"; return; fi
  if [ "$want" != 0 ] && ! grep -q 'kvsfx-pack: ' "$work/refuse.err"; then fail "$what: no message"; return; fi
  ok "$what: exit $want"
}
r=$work/refuse/out.bin
# A real executable of another machine under a target's name is refused (an
# ELF header with x86-64's e_machine as the aarch64 stub, and the reverse).
elf() { python3 -c "import sys; sys.stdout.buffer.write(b'\x7fELF\x02\x01\x01' + bytes(11) + bytes([int(sys.argv[1], 16), 0]) + bytes(200))" "$1"; }
elf 3e > "$work/tools/kvsfx-linux-arm64"
elf b7 > "$work/tools/kvsfx"
pack_exe=$work/tools/$(basename "$pack_exe_saved")
expect_exit 1 "x86-64 stub as linux-arm64" -C "@$payload" -o "@$r" --target linux-arm64 --run bin/run.sh
grep -q "is linux-x86_64 (ELF, x86-64), not a stub for linux-arm64" "$work/refuse.err" || fail "refusal: $(cat "$work/refuse.err")"
expect_exit 1 "aarch64 stub as linux" -C "@$payload" -o "@$r" --target linux --run bin/run.sh
grep -q "is linux-arm64 (ELF, aarch64), not a stub for linux-x86_64" "$work/refuse.err" || fail "refusal: $(cat "$work/refuse.err")"
pack_exe=$pack_exe_saved
python3 -c "import sys; sys.stdout.buffer.write(b'z' * 1148571)" > "$work/toolong"
python3 -c "import sys; sys.stdout.buffer.write(b'z' * 1148570)" > "$work/longest"
python3 -c "import sys; sys.stdout.buffer.write(b'stub' * 100 + bytes([11, 11, 0xAF, 0xAF, 11, 11]) + b'tail')" > "$work/marked"
expect_exit 1 "stub too long" --stub "@$work/toolong" -C "@$payload" -o "@$r"
expect_exit 1 "stub holding the marker" --stub "@$work/marked" -C "@$payload" -o "@$r"
expect_exit 1 "configuration text too long" --stub "@$work/stub" -C "@$payload" -o "@$r" --title "$(printf '%*s' 1000 '' | tr ' ' '&')"
expect_exit 1 "missing payload folder" --stub "@$work/stub" -C "@$work/nothing" -o "@$r"
expect_exit 1 "missing stub" --stub "@$work/nothing" -C "@$payload" -o "@$r"
expect_exit 1 "--zip that is no archive" --stub "@$work/stub" --zip "@$work/stub" -o "@$r"
# Entries the launcher cannot decode (Python writes bzip2): the first one is
# named with the reason.
python3 - "$work" <<'PY'
import sys, zipfile
with zipfile.ZipFile(f'{sys.argv[1]}/bzip2.zip', 'w') as z:
    z.writestr('plain.txt', 'stored, readable')
    for n in (1, 2):
        z.writestr(f'bzip2{n}.txt', 'x' * 1000, compress_type=zipfile.ZIP_BZIP2)
PY
expect_exit 1 "--zip with bzip2 entries" --stub "@$work/stub" --zip "@$work/bzip2.zip" -o "@$r"
grep -q 'cannot be extracted by the launcher: entry "bzip21.txt": compression method 12 is not supported' \
  "$work/refuse.err" || fail "--zip bzip2: $(cat "$work/refuse.err")"
expect_exit 1 "output in a missing folder" --stub "@$work/stub" -C "@$payload" -o "@$work/refuse/none/out.bin"
expect_exit 1 "output is a folder" --stub "@$work/stub" -C "@$payload" -o "@$work/refuse"
expect_exit 2 "no arguments"
expect_exit 2 "no output" --stub "@$work/stub" -C "@$payload"
expect_exit 2 "two payloads" --stub "@$work/stub" -C "@$payload" --zip "@$work/info.zip" -o "@$r"
expect_exit 2 "unknown option" --stub "@$work/stub" -C "@$payload" -o "@$r" --frobnicate
expect_exit 2 "bad target" -C "@$payload" -o "@$r" --target macos
expect_exit 0 "--help" --help
grep -q -- '--reproducible' "$work/refuse.out" && ok "--help text" || fail "--help text"
expect_exit 0 "longest stub" --stub "@$work/longest" -C "@$payload" -o "@$r" --run bin/run.sh
[ "$(cut_archive "$r" /dev/null | cut -d' ' -f1)" = 1148570 ] && ok "marker at 1148570" || fail "longest stub"

# Links that leave the packed folder are refused unless --follow-links is
# given; links that stay inside are followed (Wine shows Linux links to
# Windows programs as reparse points).
if true; then
  mkdir -p "$work/links/tree/inner" "$work/links/outside"
  echo "private" > "$work/links/outside/key"
  echo "inside" > "$work/links/tree/inner/file.txt"
  ln -s inner "$work/links/tree/inner-link"
  ln -s ../outside "$work/links/tree/away"
  expect_exit 1 "link to a folder outside" --stub "@$work/stub" -C "@$work/links/tree" -o "@$r"
  grep -q -- "--follow-links" "$work/refuse.err" || fail "link refusal does not name --follow-links"
  rm "$work/links/tree/away"
  ln -s ../../outside/key "$work/links/tree/inner/key"
  expect_exit 1 "link to a file outside, below a link inside" --stub "@$work/stub" -C "@$work/links/tree" -o "@$r"
  expect_exit 0 "--follow-links" --stub "@$work/stub" -C "@$work/links/tree" -o "@$r" --follow-links
  cut_archive "$r" "$work/links.zip" > /dev/null
  python3 -c "import sys, zipfile; print('\n'.join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))" \
    "$work/links.zip" > "$work/links.list"
  grep -qx "inner/key" "$work/links.list" && grep -qx "inner-link/file.txt" "$work/links.list" \
    && ok "--follow-links packs link targets" || fail "--follow-links: $(tr '\n' ' ' < "$work/links.list")"
  rm "$work/links/tree/inner/key"
  expect_exit 0 "links inside the folder" --stub "@$work/stub" -C "@$work/links/tree" -o "@$r"
  rm -f "$r"
fi
grep -q -- '--follow-links' <(pack --help) && ok "--help names --follow-links" || fail "--help lacks --follow-links"

# Interrupted while writing: the temporary output goes too (Linux signals).
if [ -z "$emulator" ]; then
  mkdir -p "$work/slow/in" "$work/slow/out"
  head -c 150000000 /dev/urandom > "$work/slow/in/big.bin"
  "$pack_exe" --stub "$work/stub" -C "$work/slow/in" -o "$work/slow/out/l.bin" > /dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do [ -n "$(ls -A "$work/slow/out")" ] && break; sleep 0.1; done
  kill -TERM "$pid" 2> /dev/null || true
  rc=0; wait "$pid" 2> /dev/null || rc=$?
  [ "$rc" != 0 ] || echo "note: the build ended before the interruption" >&2
  left=$(ls -A "$work/slow/out" | grep -v '^l\.bin$' || true)
  [ -z "$left" ] && ok "no temporary file left after an interruption" || fail "left after SIGTERM: $left"
  rm -rf "$work/slow"
fi

# An empty payload is packed, with a warning.
mkdir "$work/nothing-inside"
pack --stub "@$work/stub" -C "@$work/nothing-inside" -o "@$work/empty.bin" > /dev/null 2> "$work/empty.err" \
  && grep -q 'warning: the payload holds no files' "$work/empty.err" && ok "empty payload: warning" || fail "empty payload"

# Names that differ only in case, packed for Windows (an "MZ" stub): a warning.
mkdir -p "$work/cased/Docs" "$work/cased/docs"
echo one > "$work/cased/Readme.txt"
echo two > "$work/cased/README.txt"
pack --stub "@$work/stub" -C "@$work/cased" -o "@$work/cased.bin" > /dev/null 2> "$work/cased.err" \
  && grep -q "warning: 'README.txt' and 'Readme.txt' differ only in case" "$work/cased.err" \
  && grep -q "warning: 'Docs' and 'docs' differ only in case" "$work/cased.err" \
  && ok "names differing only in case: warnings" || { fail "case warnings"; cat "$work/cased.err"; }

# --- the program image holds no marker -------------------------------------
python3 - "$pack_exe" <<'PY' && ok "no marker bytes in kvsfx-pack" || fail "kvsfx-pack holds the marker bytes"
import sys
sys.exit(1 if bytes([11, 11, 0xAF, 0xAF, 11, 11]) in open(sys.argv[1], 'rb').read() else 0)
PY

finish
