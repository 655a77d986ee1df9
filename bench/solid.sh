#!/usr/bin/env bash
# Solid payloads against 7-Zip and NSIS, in one run on the same tree: Python
# 3.11's standard library and every third of Wine's 32-bit PE DLLs (made from
# what the machine has installed; links followed, dangling ones dropped).
#   size      kvsfx-pack --solid (and today's deflate) against `7z a -mx=9`,
#             the whole Windows launcher file against an NSIS installer
#             (`SetCompressor /SOLID lzma`) of the same tree
#   packing   kvsfx-pack --solid against `7z a -mx=9` (seconds, each once)
#   running   the Linux launcher file (extract, start, clean up) against
#             `7z x` + `rm -rf`, on tmpfs, paired in each round: ratio median
#             (min-max) and peak memory (max RSS)
# With PARTS="32 64" (MiB), the same size and running figures for other
# part sizes: the size/speed trade-off of cutting the payload into parts.
#
# usage: bench/solid.sh [BUILD_DIR (build/native)] [ROUNDS (5)]
# Environment: BENCH_DIR (scratch, default on /dev/shm), WIN_STUB
# (build/win32/kvsfx.exe), PARTS.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
rounds=${2:-5}
win_stub=${WIN_STUB:-build/win32/kvsfx.exe}
cmake --build "$build" --target kvsfx kvsfx-pack >/dev/null
work=${BENCH_DIR:-$(mktemp -d /dev/shm/kvsfx-solid-XXXXXX)}
mkdir -p "$work/tmp"
trap 'rm -rf "$work"' EXIT

tree=$work/tree
mkdir -p "$tree/wine"
cp -rL /usr/lib/python3.11 "$tree/python" 2>/dev/null || true
find "$tree" -xtype l -delete
i=0
for f in /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll; do
  [ -f "$f" ] || continue
  [ $((i % 3)) -eq 0 ] && cp "$f" "$tree/wine/"
  i=$((i + 1))
done
cp /bin/true "$tree/quit"
echo "tree: $(du -sb "$tree" | cut -f1) bytes, $(find "$tree" -type f | wc -l) files (in $work)"

median() { sort -g | awk '{v[NR]=$1} END {m = (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2; printf "%.2f (%.2f-%.2f)", m, v[1], v[NR]}'; }
timed() {  # prints "seconds maxrss_kib" for the command
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt"
}
# The archive's bytes of a launcher file: behind its stub and data block.
archive_bytes() { echo $(( $(stat -c %s "$1") - $("$build/kvsfx-pack" --info "$1" | sed -n 's/.*archive at \([0-9]*\).*/\1/p') )); }

read -r t_7z_pack _ < <(timed 7z a -mx=9 "$work/tree.7z" "$tree/.")
size_7z=$(stat -c %s "$work/tree.7z")
read -r t_pack _ < <(timed "$build/kvsfx-pack" --stub "$build/kvsfx" -C "$tree" --solid --run quit --no-progress \
  -o "$work/solid.run")
"$build/kvsfx-pack" --stub "$build/kvsfx" -C "$tree" --level 9 --run quit --no-progress -o "$work/deflate.run" >/dev/null
solid=$(archive_bytes "$work/solid.run")
deflate=$(archive_bytes "$work/deflate.run")
printf '\n%-34s %12s %8s\n' payload bytes "/ 7z"
printf '%-34s %12d %8.3f\n' "7z a -mx=9" "$size_7z" 1
printf '%-34s %12d %8.3f\n' "kvsfx-pack --solid" "$solid" "$(awk "BEGIN{print $solid / $size_7z}")"
printf '%-34s %12d %8.3f\n' "kvsfx-pack (deflate -9)" "$deflate" "$(awk "BEGIN{print $deflate / $size_7z}")"
printf '\npacking: kvsfx-pack --solid %ss, 7z a -mx=9 %ss: %.2f\n' "$t_pack" "$t_7z_pack" \
  "$(awk "BEGIN{print $t_pack / $t_7z_pack}")"

if command -v makensis >/dev/null 2>&1 && [ -f "$win_stub" ]; then
  cat > "$work/installer.nsi" <<EOF
OutFile "$work/installer.exe"
SetCompressor /SOLID lzma
RequestExecutionLevel user
Section
SetOutPath "\$TEMP\\kvsfx-bench"
File /r "$tree/*"
SectionEnd
EOF
  makensis -V1 "$work/installer.nsi" >/dev/null
  "$build/kvsfx-pack" --stub "$win_stub" -C "$tree" --solid --run quit --no-progress -o "$work/solid.exe" >/dev/null
  nsis=$(stat -c %s "$work/installer.exe")
  ours=$(stat -c %s "$work/solid.exe")
  printf 'Windows launcher file %d bytes, NSIS installer %d bytes: %.3f\n' "$ours" "$nsis" "$(awk "BEGIN{print $ours / $nsis}")"
fi

run_rounds() {  # launcher file, label
  : > "$work/ratio"; local mem=0 mem_7z=0 t_ours m_ours t_7z m_7z
  for _ in $(seq 1 "$rounds"); do
    read -r t_ours m_ours < <(timed env TMPDIR="$work/tmp" "$1")
    read -r t_7z m_7z < <(timed sh -c "7z x -y -o'$work/tmp/out' '$work/tree.7z'; rm -rf '$work/tmp/out'")
    awk "BEGIN{print $t_ours / $t_7z}" >> "$work/ratio"
    [ "$m_ours" -gt "$mem" ] && mem=$m_ours
    [ "$m_7z" -gt "$mem_7z" ] && mem_7z=$m_7z
  done
  printf '%-22s %-26s %10d %10d\n' "$2" "$(median < "$work/ratio")" "$mem" "$mem_7z"
}
printf '\n%-22s %-26s %10s %10s\n' "running (tmpfs)" "kvsfx / 7z x+rm" "kvsfx KiB" "7z KiB"
run_rounds "$work/solid.run" "solid, 128 MiB parts"
for part in ${PARTS:-}; do
  "$build/kvsfx-pack" --stub "$build/kvsfx" -C "$tree" --solid --solid-part "$part" --run quit --no-progress \
    -o "$work/part$part.run" >/dev/null
  bytes=$(archive_bytes "$work/part$part.run")
  run_rounds "$work/part$part.run" "solid, $part MiB parts"
  printf '%-22s %d bytes, %.3f of 7z\n' "" "$bytes" "$(awk "BEGIN{print $bytes / $size_7z}")"
done
run_rounds "$work/deflate.run" "deflate"
