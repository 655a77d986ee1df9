#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: natively, under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the Windows builds under Wine.
# The 32-bit product build (win32) runs its tests where the kernel can start
# 32-bit Wine and reports them skipped elsewhere; the same sources built for
# x86_64 (win64) run under wine64 everywhere.
# "fuzz" builds the libFuzzer targets and runs each briefly from its seeds.
# win32 goes first: the native install and package tests take its stub.
# linux-arm64 (the aarch64 stub, its tests under qemu-aarch64-static) follows
# native: its release test installs and packages it with the native build.
# "native-tsan" runs the archive reader's tests under ThreadSanitizer.
# Usage: scripts/test.sh [preset...]
#   (default: win32 native linux-arm64 native-asan native-tsan win64 fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 native linux-arm64 native-asan native-tsan win64 fuzz)

failed=()
for preset in "${presets[@]}"; do
  if [ "$preset" = fuzz ]; then
    bash scripts/fuzz-smoke.sh 20 || failed+=(fuzz)
    continue
  fi
  echo "== $preset: configure and build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    failed+=("$preset (build)")
    continue
  fi
  echo "== $preset: test"
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

# The Windows package (kvsfx-<version>-win32.zip), once the native build has
# made the Linux stub that it carries.
if [[ " ${presets[*]} " == *" win32 "* ]] && [ -f build/win32/CPackConfig.cmake ]; then
  echo "== win32: package"
  if cpack --config build/win32/CPackConfig.cmake -B build/win32/package >build/win32/cpack.log 2>&1; then
    ls build/win32/package/*.zip
    # Every stub that was built goes into it (the aarch64 one once linux-arm64 has run).
    for stub in build/native/kvsfx build/linux-arm64/kvsfx-linux-arm64; do
      if [ -f "$stub" ] && ! unzip -l build/win32/package/*.zip | grep -q "lib/kvsfx/$(basename "$stub")$"; then
        echo "the Windows package lacks $(basename "$stub")"
        failed+=("win32 (package)")
      fi
    done
  else
    cat build/win32/cpack.log
    failed+=("win32 (package)")
  fi
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "== FAILED: ${failed[*]}"
  exit 1
fi
echo "== all presets passed: ${presets[*]}"
