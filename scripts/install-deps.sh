#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root):
# the mingw-w64 cross compiler and its zlib, CMake, GoogleTest's sources,
# 32-bit Wine (and the 64-bit toolchain and Wine, for machines that cannot
# run 32-bit programs), Xvfb and Wine's fonts (screenshots), clang (fuzzing) and the host zlib.
set -euo pipefail

packages=(
    cmake make g++ clang libclang-rt-14-dev zlib1g-dev googletest
    g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev binutils-mingw-w64-i686
    wine wine32 file util-linux
    g++-mingw-w64-x86-64-posix wine64
    xvfb xauth x11-apps imagemagick fonts-wine python3
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
    exit 1
fi
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "Installed: ${missing[*]}"
