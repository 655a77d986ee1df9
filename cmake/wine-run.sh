#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix.
# WINEPREFIX comes from the test's environment; the prefix is created on first
# use, under a lock so that parallel tests do not race to create it.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the build's private Wine prefix}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
