#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each briefly from its seeds: a quick
# check that the targets still build and that no seed crashes. Long runs are
# described in fuzz/README.md.
# Usage: scripts/fuzz-smoke.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_markup fuzz_config fuzz_zip fuzz_solid >/dev/null
root=$PWD

work=$(mktemp -d "${TMPDIR:-/tmp}/kvsfx-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 fuzz/seeds/config/make_seeds.py "$work/seeds-config" >/dev/null
bash fuzz/seeds/zip/make_seeds.sh "$work/seeds-zip" >/dev/null 2>&1 || true
mkdir -p "$work/seeds-zip"
python3 fuzz/seeds/solid/make_seeds.py "$work/seeds-solid"

run() {  # target, seed folder, extra options
  local target=$1 seeds=$2
  shift 2
  mkdir -p "$work/corpus-$target"
  echo "== $target: ${seconds}s from $(ls "$seeds" | wc -l) seeds"
  # -timeout: an input that runs for more than 10 s is a hang, and a finding.
  (cd "$work" && TMPDIR="$work" "$root/$build/fuzz/$target" -max_total_time="$seconds" \
      -timeout=10 -print_final_stats=1 "$@" "$work/corpus-$target" "$seeds" 2>&1 |
      grep -E '^stat::number_of_executed_units|ERROR|SUMMARY' || true)
  if ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* >/dev/null 2>&1; then
    echo "== $target found a failure" >&2
    exit 1
  fi
}
run fuzz_markup "$root/fuzz/seeds/markup"
run fuzz_config "$work/seeds-config"
run fuzz_zip "$work/seeds-zip" -max_len=70000
run fuzz_solid "$work/seeds-solid" -max_len=70000
echo "== fuzz smoke run passed"
