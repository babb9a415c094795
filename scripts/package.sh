#!/usr/bin/env bash
# Makes the Debian package setup-pack_<version>_amd64.deb:
#   1. the installer stub, the uninstall component (helper program, static
#      library, C header), the launcher and the example program, cross-built
#      in a win32 tree of its own (build/package-win32: Release, no tests),
#      unless --win32-dir names a win32 build tree where they are built;
#   2. setup-pack in a native Release build of its own (build/package-build: the
#      native preset builds with the sanitizers, which a shipped tool must not);
#   3. cpack -G DEB in that build, with the parts' paths given.
#
#   scripts/package.sh [--win32-dir DIR] [--output-dir DIR]
#
# Every part is required: a missing one stops the script with its name,
# before anything is packed. The package lands in build/package (or the
# output DIR); its path is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$(pwd)

win32_dir=
output_dir=$root_dir/build/package
while [ $# -gt 0 ]; do
    case $1 in
    --win32-dir) win32_dir=$(realpath -m "${2:?--win32-dir takes a folder}"); shift 2 ;;
    --output-dir) output_dir=$(realpath -m "${2:?--output-dir takes a folder}"); shift 2 ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

# The parts, relative to the win32 tree: each goes to /usr/share/setup-pack
# under its own name, except the example program (see cmake/Package.cmake).
parts=(setup-stub.exe uninstall/setup-uninstall.exe uninstall/libsetup-uninstall.a
       uninstall/setup-uninstall.h uninstall/setup-launcher.exe bin/SampleNotes.exe)

if [ -z "$win32_dir" ]; then
    win32_dir=$root_dir/build/package-win32
    echo "== Building the installer stub, the uninstall component and the example (win32) in $win32_dir" >&2
    cmake -S . -B "$win32_dir" -DCMAKE_TOOLCHAIN_FILE="$root_dir/cmake/i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DSETUP_BUILD_TESTS=OFF >&2
    # Every target named, unconditionally: a target this tree lacks is an error.
    cmake --build "$win32_dir" --parallel 2 \
        --target setup-stub setup-uninstall setup_uninstall_library setup-launcher SampleNotes >&2
fi
missing=0
for part in "${parts[@]}"; do
    if [ ! -f "$win32_dir/$part" ]; then
        echo "package.sh: error: $win32_dir/$part is missing; the package must hold it" >&2
        missing=1
    fi
done
[ $missing = 0 ] || exit 1

# Stored times in the package follow the last commit, not the clock.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi

build_dir=$root_dir/build/package-build
echo "== Building setup-pack (native, Release) in $build_dir" >&2
share_list=$(for part in "${parts[@]:1:4}"; do printf '%s;' "$win32_dir/$part"; done)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DSETUP_HOST_TOOLS_ONLY=ON \
    -DSETUP_PACKAGE_STUB="$win32_dir/setup-stub.exe" -DSETUP_PACKAGE_SHARE_FILES="${share_list%;}" \
    -DSETUP_PACKAGE_EXAMPLE_PROGRAM="$win32_dir/bin/SampleNotes.exe" >&2
cmake --build "$build_dir" --parallel 2 --target setup-pack >&2

echo "== Packing" >&2
mkdir -p "$output_dir"
(cd "$build_dir" && cpack -G DEB -B "$output_dir" >&2)
rm -rf "$output_dir/_CPack_Packages"
version=$(sed -n 's/^project(setup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$output_dir/setup-pack_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "package.sh: cpack did not write $deb" >&2; exit 1; }
echo "$deb"
