#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix.
# WINEPREFIX comes from the test's environment; the prefix is created on first
# use, under a lock so that parallel tests do not race to create it.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX to the private Wine prefix of the build}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# 32-bit programs need a kernel that can start 32-bit Linux programs (Wine's
# 32-bit loader is one); some virtual machines lack that support.
if [ "$(head -c 5 "$1" 2>/dev/null | od -An -c | tr -d ' ')" != "" ] &&
   [ "$(dd if="$1" bs=1 skip=$(( $(od -An -tu4 -j60 -N4 "$1") + 4 )) count=2 2>/dev/null | od -An -tx1 | tr -d ' ')" = "4c01" ] &&
   ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  echo "wine-run: $1 is a 32-bit program, and this machine's kernel cannot run 32-bit Wine." >&2
  echo "wine-run: run the Windows tests from the x86_64 build instead (toolchain cmake/mingw-x86_64.cmake, preset win64)." >&2
  exit 77
fi

loader=wine
/usr/lib/wine/wineserver32 --version >/dev/null 2>&1 || loader=/usr/lib/wine/wine64

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$loader" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
) 9>"$WINEPREFIX.lock"
exec "$loader" "$@"
