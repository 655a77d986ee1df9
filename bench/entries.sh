#!/usr/bin/env bash
# Memory and time per entry at many entries: a Linux launcher file whose
# archive holds ENTRIES one-byte files (stored, 1,000 a folder, Zip64 records
# from Python's zipfile) and a program that only notes the launcher's peak
# memory so far (extraction done, the work folder not yet deleted), against
# `unzip` + `rm -rf` of the same file, back to back in every round on tmpfs.
# Prints each round, then the medians: seconds, microseconds per entry, peak
# memory (max RSS) of the whole run and of its extraction, our ratio to
# unzip+rm, and the target of 2 MiB + 16 bytes an entry for our peak memory.
#
# usage: bench/entries.sh [BUILD_DIR (build/native)] [ENTRIES (300000)] [ROUNDS (3)]
# Environment: BENCH_DIR (scratch, default on /dev/shm).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
entries=${2:-300000}
rounds=${3:-3}
cmake --build "$build" --target kvsfx >/dev/null
work=${BENCH_DIR:-$(mktemp -d /dev/shm/kvsfx-bench-entries-XXXXXX)}
mkdir -p "$work/tmp"
trap 'rm -rf "$work"' EXIT

echo "launcher file of $entries one-byte entries in $work ..."
python3 - "$build/kvsfx" "$entries" "$work/many.run" <<'PY'
import os, sys, zipfile
sys.path.insert(0, "tests/data")
from ziptools import assemble, config_text
from gen_zip64 import ArchiveTail
stub, count, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(out, "wb") as f:
    f.write(assemble(open(stub, "rb").read(), config_text(run="quit", prog="0"), b""))
    with zipfile.ZipFile(ArchiveTail(f), "w", zipfile.ZIP_STORED) as z:
        quit_ = zipfile.ZipInfo("quit")
        quit_.external_attr = 0o100755 << 16
        z.writestr(quit_, b'#!/bin/sh\nawk \'/VmHWM/ {print $2}\' /proc/$PPID/status > "$KVSFX_BENCH_HWM"\n')
        for i in range(count):
            z.writestr("d%04d/f%04d" % (i // 1000, i % 1000), bytes([i & 0xFF]))
os.chmod(out, 0o755)
PY

timed() {  # prints "seconds maxrss_kib" of the command
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt"
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

: > "$work/rounds"
for r in $(seq 1 "$rounds"); do
  read -r t_ours m_ours < <(timed env TMPDIR="$work/tmp" KVSFX_BENCH_HWM="$work/hwm" "$work/many.run")
  read -r m_extract < "$work/hwm"
  [ -z "$(ls -A "$work/tmp")" ] || { echo "the launcher left files behind" >&2; exit 1; }
  read -r t_unzip m_unzip < <(timed sh -c "unzip -q -o '$work/many.run' -d '$work/tmp/out'; rm -rf '$work/tmp/out'")
  echo "$t_ours $m_ours $t_unzip $m_unzip $m_extract" | tee -a "$work/rounds" |
    awk -v r="$r" '{printf "round %d: kvsfx %.2f s %d KiB (extraction %d KiB), unzip+rm %.2f s %d KiB\n", r, $1, $2, $5, $3, $4}'
done
col() { awk -v c="$1" '{print $c}' "$work/rounds" | median; }
awk -v n="$entries" -v t="$(col 1)" -v m="$(col 2)" -v tu="$(col 3)" -v mu="$(col 4)" -v me="$(col 5)" 'BEGIN {
  printf "%-9s %9s %11s %10s\n", "", "seconds", "us/entry", "peak KiB"
  printf "%-9s %9.2f %11.2f %10d (extraction %d)\n", "kvsfx", t, t * 1e6 / n, m, me
  printf "%-9s %9.2f %11.2f %10d\n", "unzip+rm", tu, tu * 1e6 / n, mu
  printf "ratio kvsfx/unzip+rm: time %.2f, peak memory %.2f\n", t / tu, m / mu
  target = (2 * 1048576 + 16 * n) / 1024
  printf "peak memory target 2 MiB + 16 B/entry = %d KiB: whole run %s, extraction %s\n", target,
         (m <= target) ? "met" : "NOT met", (me <= target) ? "met" : "NOT met"
}'
