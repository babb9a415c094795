#!/usr/bin/env bash
# Makes the Debian package setup-pack_<version>_amd64.deb:
#   1. the installer stub and the uninstall component (helper program, static
#      library, C header) from the win32 preset (only the targets the package
#      needs, not the tests), unless --stub names a stub already built;
#   2. setup-pack in a native Release build of its own (build/package: the
#      native preset builds with the sanitizers, which a shipped tool must not);
#   3. cpack -G DEB in that build, with the stub's path given.
#
#   scripts/package.sh [--stub FILE] [--uninstall-dir DIR] [--share FILE]... [--output-dir DIR]
#
# Every file of the uninstall folder (build/win32/uninstall, or DIR; none
# when it does not exist) and each --share file go to /usr/share/setup-pack
# beside the stub. The package lands in build/package (or the output DIR);
# its path is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$(pwd)

stub=
uninstall_dir=
share=()
output_dir=$root_dir/build/package
while [ $# -gt 0 ]; do
    case $1 in
    --stub) stub=$(realpath "${2:?--stub takes a file}"); shift 2 ;;
    --uninstall-dir) uninstall_dir=$(realpath -m "${2:?--uninstall-dir takes a folder}"); shift 2 ;;
    --share) share+=("$(realpath "${2:?--share takes a file}")"); shift 2 ;;
    --output-dir) output_dir=$(realpath -m "${2:?--output-dir takes a folder}"); shift 2 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ -z "$stub" ]; then
    echo "== Building the installer stub (win32 preset)" >&2
    cmake --preset win32 >/dev/null
    targets=(setup-stub)
    # The uninstall component, where this tree has it.
    for target in setup-uninstall setup_uninstall_library; do
        if cmake --build --preset win32 --target help | grep -q "\.\.\. $target\$"; then targets+=("$target"); fi
    done
    cmake --build --preset win32 --target "${targets[@]}" >&2
    stub=$root_dir/build/win32/setup-stub.exe
    [ -n "$uninstall_dir" ] || uninstall_dir=$root_dir/build/win32/uninstall
fi
if [ -n "$uninstall_dir" ] && [ -d "$uninstall_dir" ]; then
    while IFS= read -r file; do share+=("$file"); done < <(find "$uninstall_dir" -maxdepth 1 -type f | sort)
fi
[ -f "$stub" ] || { echo "package.sh: no stub at $stub" >&2; exit 1; }

# Stored times in the package follow the last commit, not the clock.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi

build_dir=$root_dir/build/package-build
echo "== Building setup-pack (native, Release) in $build_dir" >&2
share_list=$(IFS=';'; echo "${share[*]:-}")
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DSETUP_HOST_TOOLS_ONLY=ON \
    -DSETUP_PACKAGE_STUB="$stub" -DSETUP_PACKAGE_SHARE_FILES="$share_list" >&2
cmake --build "$build_dir" --parallel 2 --target setup-pack >&2

echo "== Packing" >&2
mkdir -p "$output_dir"
(cd "$build_dir" && cpack -G DEB -B "$output_dir" >&2)
rm -rf "$output_dir/_CPack_Packages"
version=$(sed -n 's/^project(setup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$output_dir/setup-pack_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "package.sh: cpack did not write $deb" >&2; exit 1; }
echo "$deb"
