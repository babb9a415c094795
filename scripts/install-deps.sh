#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root):
# the mingw-w64 cross compiler and its zlib, CMake, GoogleTest's sources,
# 32-bit Wine, Xvfb and Wine's fonts (screenshots), clang (fuzzing) and the host zlib.
set -euo pipefail

packages=(
    cmake make g++ clang libclang-rt-14-dev zlib1g-dev googletest
    g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev binutils-mingw-w64-i686
    wine wine32 file util-linux
    xvfb xauth x11-apps imagemagick fonts-wine python3
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
        exit 1
    fi
    # wine32 is an i386 package.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    echo "Installed: ${missing[*]}"
fi

# Wine runs the installer as a 32-bit program. Some virtual machines cannot
# execute 32-bit x86 code at all ("Exec format error"); there, 32-bit Linux
# programs (Wine's loader and server) run under qemu's user-mode emulator,
# registered with the kernel's binfmt_misc. Slower, but the same Wine.
can_run_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
if ! can_run_i386; then
    if [ "$(id -u)" != 0 ]; then
        echo "This machine cannot run 32-bit programs; run this script as root to set up emulation." >&2
        exit 1
    fi
    dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -e "$binfmt/qemu-i386" ]; then
        # i386 ELF executables and shared objects; F: the emulator is opened
        # now, so it also serves other mount namespaces.
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:OCF' \
            > "$binfmt/register"
    fi
    can_run_i386 || { echo "32-bit programs still cannot run on this machine." >&2; exit 1; }
    echo "32-bit programs run under emulation on this machine."
fi
