#!/usr/bin/env bash
# End-to-end comparison, in one run on the same payloads: the Linux launcher
# file (whose program exits at once) against Info-ZIP unzip followed by rm -rf.
# Reports best-of-N wall time, the ratio ours/unzip and peak memory (max RSS).
# Usage: bench/e2e.sh [build folder, default build/native] [runs, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
runs=${2:-3}
password=Tq5HwR27_81m6_3yk52
cmake --build "$build" --target kvsfx kvsfx-pack >/dev/null

for fs in /dev/shm /tmp; do
work=$(mktemp -d "$fs/kvsfx-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "== on $fs"

make_payloads() {
  # yes | head ends yes with SIGPIPE, which is expected here.
  set +o pipefail
  # (a) four files of 64 MiB: random, text-like, zeros, mixed.
  mkdir -p "$work/large"
  head -c 64M /dev/urandom > "$work/large/random.bin"
  yes "the quick brown fox jumps over the lazy dog $RANDOM" | head -c 64M > "$work/large/text.txt"
  head -c 64M /dev/zero > "$work/large/zeros.bin"
  (for i in $(seq 1 64); do head -c 512K /dev/urandom; yes "line $i" | head -c 512K; done) > "$work/large/mixed.bin"
  # (b) 5,000 files of 1-16 KiB in 50 folders.
  python3 - "$work/small" <<'PY'
import os, random, sys
random.seed(7)
root = sys.argv[1]
words = [b"alpha", b"beta", b"gamma", b"delta", b"kvsfx", b"launcher", b"\n"]
for f in range(50):
    folder = os.path.join(root, f"folder{f:02d}")
    os.makedirs(folder)
    for i in range(100):
        size = random.randint(1024, 16384)
        half = os.urandom(size // 2)
        text = b" ".join(random.choice(words) for _ in range(size // 8))[: size - len(half)]
        with open(os.path.join(folder, f"file{i:03d}.dat"), "wb") as out:
            out.write(half + text)
PY
  for p in large small; do cp /bin/true "$work/$p/quit"; done
  set -o pipefail
}

best() {  # best wall time and its peak memory over $runs runs of "$@"
  local best_t="" best_m="" t m
  for _ in $(seq 1 "$runs"); do
    /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@" >/dev/null 2>&1 || true
    read -r t m < "$work/time.txt"
    if [ -z "$best_t" ] || awk "BEGIN{exit !($t < $best_t)}"; then best_t=$t; best_m=$m; fi
  done
  echo "$best_t $best_m"
}

make_payloads
for p in large small; do
  "$build/kvsfx-pack" --stub "$build/kvsfx" -C "$work/$p" --run quit --no-progress -o "$work/$p.run" >/dev/null
  mkdir -p "$work/tmp"
  read -r ours ours_mem < <(best env TMPDIR="$work/tmp" "$work/$p.run")
  read -r theirs theirs_mem < <(best sh -c "unzip -q -o -P $password '$work/$p.run' -d '$work/tmp/out' 2>/dev/null; rm -rf '$work/tmp/out'")
  ratio=$(awk "BEGIN{printf \"%.2f\", $ours / $theirs}")
  printf '%-6s launcher %6.2fs %6d KiB | unzip+rm %6.2fs %6d KiB | ratio %s | launcher file %d bytes\n' \
    "$p" "$ours" "$ours_mem" "$theirs" "$theirs_mem" "$ratio" "$(stat -c %s "$work/$p.run")"
done
rm -rf "$work"
trap - EXIT
done
echo "stub sizes: kvsfx $(stat -c %s "$build/kvsfx") bytes$(for w in build/win32/kvsfx.exe; do [ -f "$w" ] && echo ", kvsfx.exe $(stat -c %s "$w") bytes"; done)"
