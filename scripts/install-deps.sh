#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need, and
# builds liblzma for MinGW and zlib + liblzma for aarch64 Linux from Debian's
# source packages.
# Idempotent: quiet and quick when everything is already installed.
#
# Survives a half-synced mirror: when one index fails to download ("Mirror
# sync in progress?") apt-get update exits 100 but the other indexes are
# fresh; the packages are then taken from the main suite (-t bookworm), whose
# i386 libraries may lag behind their amd64 twins in the security
# suite.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev liblzma-dev xz-utils libgtest-dev googletest
  g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev
  g++-aarch64-linux-gnu qemu-user-static
  wine wine64 wine32:i386 fonts-wine xvfb openbox xdotool imagemagick
  zip unzip p7zip-full nsis python3 file time
  osslsigncode openssl dpkg-dev icoutils python3-pefile
)

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

# apt-get update, tolerating indexes that a mirror in mid-sync cannot serve.
apt_update() {
  local try
  for try in 1 2; do
    if $SUDO apt-get update -qq; then return 0; fi
    echo "apt-get update failed (try $try); the indexes that did download are used" >&2
    sleep 3
  done
  return 0
}

# The deb-src entry that apt-get source needs for xz-utils.
src_list=/etc/apt/sources.list.d/kvsfx-deb-src.sources
if [ ! -f "$src_list" ]; then
  $SUDO tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

for arch in i386; do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
    need_update=1
  fi
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  apt_update
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends -t bookworm "${missing[@]}" >/dev/null
fi

for triple in i686-w64-mingw32 x86_64-w64-mingw32 aarch64-linux-gnu; do
  bash "$here/build-deps.sh" "$triple"
done
