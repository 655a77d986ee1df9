#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: natively, under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the Windows build under Wine.
# Usage: scripts/test.sh [preset...]   (default: native native-asan win32)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native native-asan win32)

for preset in "${presets[@]}"; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset" -j2
done
