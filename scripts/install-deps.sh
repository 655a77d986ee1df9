#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need.
# Idempotent: quiet and quick when everything is already installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libgtest-dev googletest
  g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 wine32:i386 fonts-wine xvfb openbox xdotool imagemagick
  zip unzip p7zip-full python3 file time
  osslsigncode openssl dpkg-dev icoutils python3-pefile
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
