#!/bin/sh
# The probe as a script, for launchers whose started program cannot be a
# compiled probe of their own machine (an aarch64 launcher under user-mode
# emulation on a machine without binfmt support: the launcher's spawn reaches
# the kernel, which starts a script through its interpreter but cannot start
# an aarch64 program). It reports what probe.cpp and unicode_probe.cpp report:
# arguments, current folder and its mode, every file below it with the CRC-32
# of its bytes (the trailer gzip writes), and "end"; KVSFX_PROBE_HOLD_UNTIL and
# KVSFX_PROBE_AWAIT_SIGNAL as probe.cpp has them.
out=${KVSFX_PROBE_OUT:?}
received=
if [ -n "${KVSFX_PROBE_AWAIT_SIGNAL:-}" ]; then
  trap 'received=15' TERM
  trap 'received=2' INT
  trap 'received=1' HUP
  echo waiting >> "$out"
  while [ -z "$received" ]; do sleep 0.01; done
  echo "signal $received" >> "$out"
fi
if [ -n "${KVSFX_PROBE_HOLD_UNTIL:-}" ]; then
  echo waiting >> "$out"
  while [ ! -e "$KVSFX_PROBE_HOLD_UNTIL" ]; do sleep 0.01; done
fi
crc() {
  # The gzip trailer: CRC-32 of the input, then its length, both little-endian.
  set -- $(gzip -1 -c < "$1" | tail -c 8 | od -An -tx1 -N4)
  echo "$4$3$2$1"
}
{
  for a in "$@"; do echo "arg $a"; done
  echo "cwd $(pwd)"
  echo "cwdmode $(stat -c %a .)"
  find . -mindepth 1 | sort | while IFS= read -r path; do
    name=${path#./}
    if [ -d "$path" ] && [ ! -L "$path" ]; then
      echo "file $name/"
    else
      echo "file $name"
      echo "crc $(crc "$path") $name"
    fi
  done
  echo end
} >> "$out"
