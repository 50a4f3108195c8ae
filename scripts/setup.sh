#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  cmake make ninja-build python3
  g++ clang llvm libclang-rt-14-dev
  googletest
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # Both Wines: the 32-bit one starts the program where the host runs 32-bit
  # code, the 64-bit one its 64-bit twin (scripts/host-kind.sh)
  wine wine32 wine64 xvfb xauth
  time
  openssl osslsigncode
  # cpack's .deb of orvanta-pack finds its library needs with dpkg-shlibdeps
  dpkg-dev
  # zlib for compressed records: static for both MinGW targets, and natively
  zlib1g-dev libz-mingw-w64-dev
  # the delta encoder's suffix sorter, and SHA-256 natively (libcrypto)
  libdivsufsort-dev libssl-dev
)

missing=()
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
for p in "${PACKAGES[@]}"; do
  name=$p
  [ "$p" = wine32 ] && name=wine32:i386
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "$need_i386" = 0 ] && [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
[ "$need_i386" = 1 ] && $SUDO dpkg --add-architecture i386
$SUDO apt-get update -q
pkgs=()
for p in "${missing[@]}"; do
  [ "$p" = wine32 ] && p=wine32:i386
  pkgs+=("$p")
done
$SUDO apt-get install -y -q --no-install-recommends "${pkgs[@]}"
