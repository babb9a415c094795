#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root):
# the mingw-w64 cross compiler and its zlib, CMake, GoogleTest's sources,
# 32-bit Wine (and the 64-bit toolchain and Wine, for machines that cannot
# run 32-bit programs), Xvfb and Wine's fonts (screenshots), clang (fuzzing) and the host zlib;
# and zlib's source package, from which setup.exe's inflate is built
# (cmake/Zlib.cmake), unpacked into /usr/local/src/setup-deps/zlib.
set -euo pipefail

# The main archive's version: the security archive serves no sources.
zlib_source_version=1:1.2.13.dfsg-1
zlib_source_dir=/usr/local/src/setup-deps/zlib

packages=(
    cmake make g++ clang libclang-rt-14-dev zlib1g-dev googletest
    g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev binutils-mingw-w64-i686
    wine wine32 file util-linux dpkg-dev
    g++-mingw-w64-x86-64-posix wine64
    xvfb xauth x11-apps imagemagick fonts-wine python3
    # the Debian package (dpkg-shlibdeps) and the signing test
    dpkg-dev osslsigncode openssl
    # the installer under the locales of each code page, and its screenshots
    locales fonts-noto-cjk fonts-dejavu-core
    # an independent reader of the built images' headers (tests only)
    python3-pefile
)

# Wine takes the user locale and the ANSI code page from LANG, but only for a
# locale glibc has: one per code-page family the tests run under.
test_locales=(ru_RU el_GR pl_PL tr_TR ja_JP ko_KR zh_CN de_DE fr_FR)
generate_locales() {
    [ "$(id -u)" = 0 ] || return 0
    local l
    for l in "${test_locales[@]}"; do
        locale -a 2>/dev/null | grep -qx "$l.utf8" || localedef -i "$l" -f UTF-8 "$l.UTF-8"
    done
}

fetch_zlib_source() {
    [ -f "$zlib_source_dir/inflate.c" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        # Not fatal: the build then links the prebuilt library, and setup.exe
        # comes out larger.
        echo "No zlib source in $zlib_source_dir; run this script as root to fetch it." >&2
        return 0
    fi
    # Sources come from a deb-src entry for the main archive: the deb entry
    # of the system's sources with Types: deb-src.
    local list=/etc/apt/sources.list.d/setup-deps-src.sources
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && [ ! -f "$list" ]; then
        cat > "$list" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    fi
    # Only the source entry is read again: the other lists were updated
    # before the install, and one stale list of theirs must not stop this.
    if [ -f "$list" ]; then
        apt-get update -qq -o Dir::Etc::sourcelist="$list" -o Dir::Etc::sourceparts=- \
            -o APT::Get::List-Cleanup=0 ||
            echo "apt-get update of the source entry reported errors; trying the source download anyway." >&2
    fi
    local work
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq "zlib=$zlib_source_version" >/dev/null)
    mkdir -p "$(dirname "$zlib_source_dir")"
    rm -rf "$zlib_source_dir"
    mv "$work"/zlib-*/ "$zlib_source_dir"
    rm -rf "$work"
    echo "Fetched the zlib source into $zlib_source_dir"
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    fetch_zlib_source
    generate_locales
    exit 0
fi

if [ "$(id -u)" != 0 ]; then
    echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
    exit 1
fi
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# One list that cannot be read (a mirror in the middle of a sync says "File
# has unexpected size") is no reason to stop: the packages may well install
# from the lists that were read. Only a failed install stops the script.
apt-get update -qq || echo "apt-get update reported errors (above); going on with the lists it could read." >&2
install_packages() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >/dev/null
}
if ! install_packages; then
    # With one architecture's security list stale, wine32's i386 libraries
    # no longer match the installed amd64 versions ("held broken packages");
    # the main archive's versions match on both.
    echo "Installing from the security lists failed; trying the main archive's versions (apt-get install -t bookworm)." >&2
    if ! install_packages -t bookworm; then
        echo "Could not install the packages this project needs: ${missing[*]}" >&2
        exit 1
    fi
fi
echo "Installed: ${missing[*]}"
fetch_zlib_source
generate_locales
