# Helpers of the kvsfx-pack test scripts, sourced after setting pack_exe,
# emulator (wine-run.sh for the Windows build, qemu-aarch64-run.sh for the
# linux-arm64 build, else empty) and work.
# shellcheck shell=bash

failures=0
# The Windows build takes Z:\ paths and keeps no Unix modes; another Linux
# machine's build (under qemu) is a Linux program like the native one.
windows=
case "$pack_exe" in *.exe) windows=yes ;; esac

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

native_path() {
  if [ -n "$windows" ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi
}

# Runs kvsfx-pack; arguments of the form @/path are converted to native paths.
pack() {
  local args=() a
  for a in "$@"; do
    if [ "${a:0:1}" = "@" ]; then args+=("$(native_path "${a:1}")"); else args+=("$a"); fi
  done
  if [ -n "$emulator" ]; then "$emulator" "$pack_exe" "${args[@]}"; else "$pack_exe" "${args[@]}"; fi
}

# Writes the archive part of launcher file $1 to $2; prints marker offset and L.
cut_archive() {
  python3 - "$1" "$2" <<'PY'
import sys
marker = bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B])
with open(sys.argv[1], 'rb') as f:
    head = f.read(1200000)
    at = head.find(marker, 100000)
    length = int.from_bytes(head[at + 6:at + 10], 'little')
    f.seek(at + 10 + length)
    with open(sys.argv[2], 'wb') as out:
        while chunk := f.read(1 << 20):
            out.write(chunk)
print(at, length)
PY
}

# A Windows build that this machine cannot run is skipped (wine-run.sh says why).
skip_unrunnable_windows_build() {
  [ -n "$emulator" ] || return 0
  local rc=0
  "$emulator" "$pack_exe" --help > /dev/null || rc=$?
  [ "$rc" = 77 ] && exit 77
  return 0
}

# Ends the script with the verdict.
finish() {
  if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed" >&2; exit 1; fi
  echo "all checks passed"
}
