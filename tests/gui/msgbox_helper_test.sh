#!/usr/bin/env bash
# The message box helper's own test, run inside xvfb_session.sh: a program
# shows a box; the helper must print its text and close it with OK.
# usage: msgbox_helper_test.sh RUNNER HELPER.exe DEMO.exe
set -uo pipefail
runner=$1 helper=$2 demo=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A new Wine prefix is made on first use; making it with a display can stall,
# so it is made here without one. That Wine session (its desktop process has
# no display) must be over before windows are shown.
env -u DISPLAY "$runner" "$helper" >/dev/null 2>&1
[ $? -eq 77 ] && { echo "the build's Windows programs cannot run here; skipped"; exit 77; }
wineserver -w 2>/dev/null

"$runner" "$demo" "Demo Box" "Hello from the kvsfx tests" >"$out/demo.txt" 2>&1 &
demo_pid=$!
# The box is a top-level X window with its caption as the name. (A plain
# poll: xdotool's --sync gives up on windows that vanish while it looks.)
found=""
for _ in $(seq 1 600); do
  found=$(xdotool search --onlyvisible --name '^Demo Box$' 2>/dev/null | head -n1)
  [ -n "$found" ] && break
  sleep 0.1
done
[ -n "$found" ] || fail "no window \"Demo Box\" appeared"
sleep 0.5
import -window root "$KVSFX_SHOTS/msgbox_demo.png" 2>/dev/null

text=$("$runner" "$helper" "Demo Box" 30000) || fail "helper failed (exit $?)"
text=${text%$'\r'}
[ "$text" = "Hello from the kvsfx tests" ] || fail "helper read \"$text\""
wait $demo_pid || fail "demo program failed: $(cat "$out/demo.txt")"
grep -q "answer 1" "$out/demo.txt" || fail "box not closed with OK: $(cat "$out/demo.txt")"

# With no such box the helper gives up after its time-out.
"$runner" "$helper" "No Such Box" 1500 >/dev/null 2>&1
[ $? -eq 1 ] || fail "helper did not report the missing box"
echo "msgbox helper: 1 passed, 0 failed"
