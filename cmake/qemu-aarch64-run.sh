#!/usr/bin/env bash
# Runs an aarch64 Linux program under qemu's user-mode emulation. Programs of
# the build are static, so no aarch64 libraries are needed. Answers 77 (the
# tests' "skipped") when qemu-aarch64-static is missing.
set -euo pipefail
if ! command -v qemu-aarch64-static >/dev/null 2>&1; then
  echo "qemu-run: qemu-aarch64-static is missing (Debian package qemu-user-static)" >&2
  exit 77
fi
exec qemu-aarch64-static "$@"
