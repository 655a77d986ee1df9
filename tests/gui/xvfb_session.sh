#!/usr/bin/env bash
# Runs one command on a private X display with a window manager, for tests
# of real windows (Wine programs included).
#
# usage: xvfb_session.sh SHOTDIR COMMAND [ARGS...]
#
# Starts Xvfb on a free display (the server picks it), openbox on it, then
# COMMAND with DISPLAY set and KVSFX_SHOTS=SHOTDIR. The command may take
# screenshots itself with `import -window root "$KVSFX_SHOTS/NAME.png"`; a
# last one of the whole screen is kept as SHOTDIR/final.png. Everything the
# script started is stopped afterwards (by process id; with WINEPREFIX set,
# the Wine processes of that prefix too). Exits with COMMAND's
# exit code, or 77 (skipped) when Xvfb, openbox or import are missing.
set -uo pipefail
shots=${1:?usage: xvfb_session.sh SHOTDIR COMMAND [ARGS...]}
shift
[ $# -gt 0 ] || { echo "usage: xvfb_session.sh SHOTDIR COMMAND [ARGS...]" >&2; exit 2; }
for tool in Xvfb openbox import xdotool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "xvfb_session: $tool is not installed" >&2; exit 77; }
done
mkdir -p "$shots"

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
  # Wine's own processes (explorer, services) hold the display: stop those of
  # the prefix first. The GUI tests give their sessions a prefix of their own.
  if [ -n "${WINEPREFIX:-}" ] && [ -n "$xvfb_pid" ] && command -v wineserver >/dev/null 2>&1; then
    wineserver -k 2>/dev/null || true
  fi
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# -displayfd: the server takes the first free display and writes its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "xvfb_session: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it owns the screen's WM selection.
for _ in $(seq 1 50); do
  xdotool getactivewindow >/dev/null 2>&1 && break
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done

export KVSFX_SHOTS="$shots"
"$@"
status=$?
import -window root "$shots/final.png" 2>/dev/null || true
exit $status
