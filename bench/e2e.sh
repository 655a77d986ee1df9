#!/usr/bin/env bash
# The whole launcher against other tools, in one run on the same payloads:
#   big   four files of 64 MiB (random, text, zeros, mixed),
#   many  5,000 files of 1-16 KiB in 50 folders,
#   mixed an application-like tree of about 150 MiB (few large files, many
#         small ones),
# each packed with kvsfx-pack (encrypted, deflated, a program that exits at
# once). Every round runs the Linux launcher file, `unzip -P` + `rm -rf` and
# `7z x -p` + `rm -rf` back to back on tmpfs; the ratios of each round are
# collected and printed as median and min-max, with the peak memory (max RSS).
# Then the same rounds on one core (`taskset -c 0`), where the launcher takes
# its one-thread path: kvsfx against unzip+rm and, with BASELINE_STUB (a
# kvsfx stub of an earlier build), against that stub's launcher file.
# Then the system calls of the launcher on `many` (strace): per extracted
# file (up to the program's start) and per deleted file (after it).
# With a Windows build (win32, else win64) and Xvfb: the Windows launchers of
# `mixed` and `many` under Wine, silent (/S) against the same payload on
# BASELINE_WIN_STUB (a kvsfx.exe of an earlier build), and with their
# progress window against /S, paired the same way, on a display with a
# window manager (tests/gui/xvfb_session.sh): without one, Wine waits two
# seconds for the manager whenever a window is hidden.
#
# usage: bench/e2e.sh [BUILD_DIR (build/native)] [ROUNDS (5)] [SCALE (1)]
# SCALE divides the payload sizes (2: half), for a busy or small machine.
# Environment: BENCH_DIR (scratch, default on /dev/shm), WIN_BUILD (build/win32,
# else build/win64), BASELINE_STUB and BASELINE_WIN_STUB (optional, see above).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
rounds=${2:-5}
scale=${3:-1}
win_build=${WIN_BUILD:-build/win32}
[ -n "${WIN_BUILD:-}" ] || [ -x "$win_build/kvsfx.exe" ] || win_build=build/win64
password=Tq5HwR27_81m6_3yk52
cmake --build "$build" --target kvsfx kvsfx-pack >/dev/null
work=${BENCH_DIR:-$(mktemp -d /dev/shm/kvsfx-bench-XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

echo "payloads in $work (scale 1/$scale) ..."
python3 - "$work" "$scale" <<'PY'
import os, random, sys
root, scale = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
words = [b"alpha", b"beta", b"gamma", b"delta", b"kvsfx", b"launcher", b"\n"]
def text(n):
    out = bytearray()
    while len(out) < n:
        out += b" ".join(rnd.choice(words) for _ in range(16)) + b"\n"
    return bytes(out[:n])
def mixed_bytes(n):
    return (os.urandom(n // 2) + text(n - n // 2))
def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
mib = 1 << 20
size = 64 * mib // scale
big = os.path.join(root, "big")
write(os.path.join(big, "random.bin"), os.urandom(size))
write(os.path.join(big, "text.txt"), text(size))
write(os.path.join(big, "zeros.bin"), bytes(size))
write(os.path.join(big, "mixed.bin"), b"".join(mixed_bytes(mib) for _ in range(size // mib)))
many = os.path.join(root, "many")
for f in range(50):
    for i in range(100 // scale):
        write(os.path.join(many, f"folder{f:02d}", f"file{i:03d}.dat"), mixed_bytes(rnd.randint(1024, 16384)))
mixed = os.path.join(root, "mixed")
for i in range(6):  # libraries and data: about 90 MiB
    write(os.path.join(mixed, "lib", f"part{i}.so"), mixed_bytes(15 * mib // scale))
for i in range(560 // scale):  # resources: about 60 MiB
    write(os.path.join(mixed, "share", f"res{i // 40:02d}", f"item{i:03d}.dat"),
          mixed_bytes(rnd.randint(4 * 1024, 200 * 1024)))
PY
for p in big many mixed; do cp /bin/true "$work/$p/quit"; done

median() { sort -g | awk '{v[NR]=$1} END {m = (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2; printf "%.2f (%.2f-%.2f)", m, v[1], v[NR]}'; }
timed() {  # prints "seconds maxrss_kib" for the command
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt"
}

mkdir -p "$work/tmp"
# The targets of the parallel extraction (kvsfx / unzip+rm on 2 cores).
declare -A target=([big]=0.36 [many]=0.34 [mixed]=0.38)
printf '%-6s %9s %-33s %-31s %6s %9s %9s\n' payload unzip+rm "kvsfx/unzip median (min-max)" "7z/unzip median (min-max)" \
  target "kvsfx KiB" "unzip KiB"
for p in big many mixed; do
  "$build/kvsfx-pack" --stub "$build/kvsfx" -C "$work/$p" --run quit --no-progress -o "$work/$p.run" >/dev/null
  : > "$work/ours"; : > "$work/7z"; : > "$work/unzip"; ours_mem=0; unzip_mem=0
  for _ in $(seq 1 "$rounds"); do
    read -r t_ours m_ours < <(timed env TMPDIR="$work/tmp" "$work/$p.run")
    read -r t_unzip m_unzip < <(timed sh -c "unzip -q -o -P $password '$work/$p.run' -d '$work/tmp/out'; rm -rf '$work/tmp/out'")
    read -r t_7z _ < <(timed sh -c "7z x -y -p$password -o'$work/tmp/out' '$work/$p.run'; rm -rf '$work/tmp/out'")
    echo "$t_unzip" >> "$work/unzip"
    awk "BEGIN{print $t_ours / $t_unzip}" >> "$work/ours"
    awk "BEGIN{print $t_7z / $t_unzip}" >> "$work/7z"
    [ "$m_ours" -gt "$ours_mem" ] && ours_mem=$m_ours
    [ "$m_unzip" -gt "$unzip_mem" ] && unzip_mem=$m_unzip
  done
  printf '%-6s %8.2fs %-33s %-31s %6s %9d %9d\n' "$p" "$(median < "$work/unzip" | cut -d' ' -f1)" \
    "$(median < "$work/ours")" "$(median < "$work/7z")" "${target[$p]}" "$ours_mem" "$unzip_mem"
done

baseline=${BASELINE_STUB:-}
printf '\none core (taskset -c 0)\n%-6s %-33s %-33s\n' payload "kvsfx/unzip median (min-max)" \
  "${baseline:+kvsfx/baseline median (min-max)}"
for p in big many mixed; do
  [ -z "$baseline" ] || "$build/kvsfx-pack" --stub "$baseline" -C "$work/$p" --run quit --no-progress -o "$work/$p.base" >/dev/null
  : > "$work/ours"; : > "$work/base"
  for _ in $(seq 1 "$rounds"); do
    read -r t_ours _ < <(timed env TMPDIR="$work/tmp" taskset -c 0 "$work/$p.run")
    read -r t_unzip _ < <(timed taskset -c 0 sh -c "unzip -q -o -P $password '$work/$p.run' -d '$work/tmp/out'; rm -rf '$work/tmp/out'")
    awk "BEGIN{print $t_ours / $t_unzip}" >> "$work/ours"
    if [ -n "$baseline" ]; then
      read -r t_base _ < <(timed env TMPDIR="$work/tmp" taskset -c 0 "$work/$p.base")
      awk "BEGIN{print $t_ours / $t_base}" >> "$work/base"
    fi
  done
  printf '%-6s %-33s %-33s\n' "$p" "$(median < "$work/ours")" "$([ -z "$baseline" ] || median < "$work/base")"
done

if command -v strace >/dev/null 2>&1; then
  files=$(find "$work/many" -type f | wc -l)
  TMPDIR="$work/tmp" strace -f -o "$work/trace" "$work/many.run" >/dev/null 2>&1 || true
  # The launcher's own calls; the program's start (execve of "quit" in the
  # child) splits extraction from cleanup.
  read -r before after < <(awk '
    NR == 1 { launcher = $1 }
    /execve\(".*quit"/ && $1 != launcher { started = 1 }
    $1 == launcher && !/resumed>/ { if (started) a++; else b++ }
    END { print b + 0, a + 0 }' "$work/trace")
  awk -v b="$before" -v a="$after" -v f="$files" \
    'BEGIN{printf "system calls on many: %.2f per extracted file (%d in all), %.2f per deleted file (%d in all), %d files\n", b/f, b, a/f, a, f}'
fi

if [ -x "$win_build/kvsfx.exe" ] && command -v Xvfb >/dev/null 2>&1; then
  export WINEPREFIX=${WINEPREFIX:-$PWD/$win_build/wineprefix} WINEDEBUG=-all
  runner=$PWD/cmake/wine-run.sh
  native() { echo "Z:${1//\//\\}"; }
  base_win=${BASELINE_WIN_STUB:-}
  # A Windows program that ends at once (the GUI tests' probe, without its
  # environment); the launchers are packed by the native kvsfx-pack.
  for payload in mixed many; do
    cp "$(find "$win_build" -name gui_probe.exe | head -1)" "$work/$payload/quit.exe"
    "$build/kvsfx-pack" --stub "$win_build/kvsfx.exe" -C "$work/$payload" --title "kvsfx bench" --run quit.exe \
      -o "$work/$payload.exe" >/dev/null
    [ -z "$base_win" ] || "$build/kvsfx-pack" --stub "$base_win" -C "$work/$payload" --title "kvsfx bench" \
      --run quit.exe -o "$work/$payload.base.exe" >/dev/null
    rm "$work/$payload/quit.exe"
  done
  # One display and one Wine session for all rounds (the first run, which
  # starts the session, is not counted).
  tmp_native=$(native "$work/tmp")
  cat > "$work/wine-rounds.sh" <<EOF
timed() { /usr/bin/time -o "$work/wtime.txt" -f "%e" "\$@" >/dev/null 2>&1 || true; cat "$work/wtime.txt"; }
timed "$runner" "$work/mixed.exe" /S "/T:$tmp_native" >/dev/null
for payload in mixed many; do
  for _ in \$(seq 1 $rounds); do
    w=\$(timed "$runner" "$work/\$payload.exe" "/T:$tmp_native")
    s=\$(timed "$runner" "$work/\$payload.exe" /S "/T:$tmp_native")
    b=0
    [ -z "$base_win" ] || b=\$(timed "$runner" "$work/\$payload.base.exe" /S "/T:$tmp_native")
    echo "\$payload \$w \$s \$b"
  done
done
EOF
  bash tests/gui/xvfb_session.sh "$work/shots" bash "$work/wine-rounds.sh" > "$work/wine-times"
  for payload in mixed many; do
    awk -v p="$payload" '$1 == p {print $2 / $3}' "$work/wine-times" > "$work/wine"
    line="wine, $payload: window / silent $(median < "$work/wine")"
    if [ -n "$base_win" ]; then
      awk -v p="$payload" '$1 == p {print $3 / $4}' "$work/wine-times" > "$work/wine-base"
      line+="; kvsfx / baseline (silent) $(median < "$work/wine-base")"
    fi
    echo "$line; seconds (window silent baseline): $(awk -v p="$payload" '$1 == p {printf "%s %s %s  ", $2, $3, $4}' "$work/wine-times")"
  done
fi
