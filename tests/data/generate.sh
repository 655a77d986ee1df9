#!/usr/bin/env bash
# Makes every generated test input below OUTDIR by running each gen_* script
# of this folder with OUTDIR as its argument. Inputs are remade on each run so
# that a changed generator never leaves stale files behind.
set -euo pipefail
out=${1:?usage: generate.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"
for gen in "$here"/gen_*; do
  [ -e "$gen" ] || continue
  case "$gen" in
    *.py) python3 "$gen" "$out" ;;
    *.sh) bash "$gen" "$out" ;;
  esac
done
