#!/usr/bin/env bash
# Extraction speed of the archive reader (bench_extract) against unzip and 7z
# on the same encrypted, deflated archives, in one run:
#   (a) four 64 MiB files of mixed compressibility,
#   (b) 5,000 files of 1-16 KiB in 50 folders.
# Work happens on tmpfs (/dev/shm, or $BENCH_DIR); prints the best of 3 wall
# times, the peak memory (max RSS) and our ratio to each tool.
#
# usage: bench/extract.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: extract.sh BUILD_DIR}
ours=$build/bench/bench_extract
[ -x "$ours" ] || { echo "missing $ours (build target bench_extract)" >&2; exit 1; }
pw=Tq5HwR27_81m6_3yk52
work=${BENCH_DIR:-/dev/shm/kvsfx_bench_extract_$$}
rm -rf "$work"; mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

echo "making test data in $work ..."
python3 - "$work" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(1)
words = b"alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo lima ".split()
def text(n):
    out = bytearray()
    while len(out) < n:
        out += b" ".join(rnd.choice(words) for _ in range(12)) + b"\n"
    return bytes(out[:n])
big = os.path.join(root, "big")
os.makedirs(big)
block_text = text(1 << 20)
for f in range(4):
    with open(os.path.join(big, "file%d.bin" % f), "wb") as out:
        for mib in range(64):
            kind = (mib + f) % 4
            if kind == 0:
                out.write(os.urandom(1 << 20))           # incompressible
            elif kind == 1:
                out.write(block_text)                    # text
            elif kind == 2:
                out.write(bytes(1 << 20))                # zeros
            else:                                        # half and half
                out.write(os.urandom(1 << 19) + block_text[:1 << 19])
small = os.path.join(root, "small")
for d in range(50):
    os.makedirs(os.path.join(small, "dir%02d" % d))
for i in range(5000):
    n = rnd.randrange(1024, 16 * 1024 + 1)
    data = text(n) if i % 2 else os.urandom(n // 2) + text(n - n // 2)
    with open(os.path.join(small, "dir%02d" % (i % 50), "f%04d.txt" % i), "wb") as out:
        out.write(data)
PY
(cd "$work/big" && zip -q -r -e -P "$pw" "$work/big.zip" .)
(cd "$work/small" && zip -q -r -e -P "$pw" "$work/small.zip" .)
rm -rf "$work/big" "$work/small"
ls -l "$work"/*.zip

# best_of3 NAME COMMAND...: prints "seconds maxrss_kib" of the fastest run.
best_of3() {
  local best="" mem="" out="$work/out"
  for _ in 1 2 3; do
    rm -rf "$out"; mkdir -p "$out"
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" > /dev/null
    read -r t m < "$work/time.txt"
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; mem=$m; fi
  done
  rm -rf "$out"
  echo "$best $mem"
}

printf "%-7s %-6s %9s %10s\n" set tool seconds peak_KiB
for set in big small; do
  zipf=$work/$set.zip
  read -r t_ours m_ours < <(best_of3 "$ours" "$zipf" "$work/out" "$pw")
  read -r t_unzip m_unzip < <(best_of3 unzip -q -P "$pw" "$zipf" -d "$work/out")
  read -r t_7z m_7z < <(best_of3 7z x -bd -bso0 -p"$pw" -o"$work/out" -y "$zipf")
  printf "%-7s %-6s %9s %10s\n" "$set" ours "$t_ours" "$m_ours" "$set" unzip "$t_unzip" "$m_unzip" \
    "$set" 7z "$t_7z" "$m_7z"
  awk -v a="$t_ours" -v b="$t_unzip" -v c="$t_7z" -v s="$set" \
    'BEGIN{printf "%-7s ratio ours/unzip %.2f, ours/7z %.2f\n", s, (b>0?a/b:0), (c>0?a/c:0)}'
  if [ "$m_ours" -ge 8192 ]; then echo "$set: our peak memory ${m_ours} KiB is not under 8 MiB" >&2; fi
done
