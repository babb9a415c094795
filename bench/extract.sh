#!/usr/bin/env bash
# Extraction throughput, on payloads of about 200 MB (text-like, binary-like
# and incompressible thirds), once over about 2,000 files and once over 20
# (where file creations no longer dominate), each in one run:
#   (a) the floor: inflate of every entry into memory, natively (the host's
#       zlib) and under Wine (the installer's own inflate; same 8 KiB output
#       buffer, nothing written);
#   (b) our extraction into a staging folder under Wine (checksum, files,
#       times, attributes: the write cost included);
#   (c) tar -xzf of the same tree, natively;
#   (d) the removal of the staged tree under Wine, as at the end of a run.
# Prints MB/s of unpacked data and the ratios (b)/(a) and (b)/(c) for each
# file count. It checks nothing; it is not a test.
#
# What limits (b), as measured here: under Wine every new file costs about a
# millisecond to create (2,000 files: about 2 s of a 3.5 s run; the same
# bytes in 20 files extract at about 150 MB/s). Inflating and writing the
# bytes themselves take about 0.2 s each.
#   bench/extract.sh [TOTAL_MB] [FILES...]    (default: 200 2000 20)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$src/build/bench/extract
total=${1:-200}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(2000 20)
mkdir -p "$out/bin"

# The 32-bit build under 32-bit Wine; on a machine that cannot run 32-bit
# programs, the 64-bit build of the same sources under 64-bit Wine.
. "$src/tests/wine/wine-env.sh"
arch=win32 cross=i686-w64-mingw32-g++-posix
if ! machine_runs_i386; then
    arch=win64 cross=x86_64-w64-mingw32-g++-posix
    echo "(this machine cannot run 32-bit programs: the 64-bit build under 64-bit Wine)"
fi
build=$src/build/$arch
cmake --preset $arch >/dev/null
cmake --build --preset $arch --target setup_core host_tools >/dev/null
# The installer's inflate, when it is built from source (cmake/Zlib.cmake);
# the prebuilt library otherwise.
inflate_lib=()
[ -f "$build/src/libsetup_inflate.a" ] && inflate_lib=("$build/src/libsetup_inflate.a")

echo "== building the benchmark programs"
g++ -std=c++17 -O2 -I"$src/src" "$src/bench/InflateBench.cpp" "$src/src/archive/ArchiveFormat.cpp" -lz \
    -o "$out/inflate-bench"
$cross -std=c++17 -O2 -static -DNOMINMAX -I"$src/src" -I"$src" \
    "$src/bench/ExtractBench.cpp" "$build/src/libsetup_core.a" "$build/src/libsetup_portable.a" \
    "${inflate_lib[@]}" -Wl,-Bstatic -lz -luser32 -lgdi32 -ladvapi32 -lshell32 -lshlwapi -lole32 -o "$out/bin/extract-bench.exe"

state=$out/wine-state.txt
cleanup() { "$src/tests/wine/prefix.sh" cleanup "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
"$src/tests/wine/prefix.sh" setup "$state" "$out/bin" "$arch" >/dev/null 2>&1

for files in "${counts[@]}"; do
    tree=$out/tree-$total-$files
    if [ ! -d "$tree" ]; then
        echo "== writing the tree ($total MB, $files files)"
        python3 "$src/bench/make-tree.py" "$tree" "$total" "$files"
    fi
    archive=$out/payload-$total-$files.zot
    if [ ! -f "$archive" ]; then
        echo "== packing it (zlib level 9)"
        "$build/host/setup-pack" create "$tree" "$archive" >/dev/null
    fi
    tarball=$out/tree-$total-$files.tar.gz
    [ -f "$tarball" ] || tar -czf "$tarball" -C "$tree" .
    echo "archive: $(stat -c %s "$archive") bytes; tar.gz: $(stat -c %s "$tarball") bytes"

    results=$out/results.txt
    : > "$results"
    "$out/inflate-bench" "$archive" >> "$results"

    root=$(cat "$state")
    rm -rf "$root/prefix/drive_c/staging"
    cp "$archive" "$root/prefix/drive_c/payload.zot"
    chmod 644 "$root/prefix/drive_c/payload.zot"
    "$src/tests/wine/run.sh" "$state" extract-bench.exe 'C:\payload.zot' 'C:\staging\' 2>&1 | tr -d '\r' >> "$results"
    rm -rf "$root/prefix/drive_c/staging" "$root/prefix/drive_c/payload.zot"

    tarout=$(mktemp -d "$out/tar.XXXXXX")
    start=$(date +%s.%N)
    tar -xzf "$tarball" -C "$tarout"
    sync -f "$tarout" 2>/dev/null || true
    end=$(date +%s.%N)
    rm -rf "$tarout"
    echo "tar_seconds $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')" >> "$results"

    awk '
        { value[$1] = $2 }
        END {
            mb = value["unpacked_mb"]; tar = mb / value["tar_seconds"]
            printf "== %d files, unpacked: %.1f MB\n", files, mb
            printf "(a) floor, zlib inflate to memory: %8.1f MB/s natively, %8.1f MB/s under Wine\n", value["floor_native_mbs"], value["floor_wine_mbs"]
            printf "(b) our extraction under Wine:     %8.1f MB/s\n", value["ours_mbs"]
            printf "(c) tar -xzf natively:             %8.1f MB/s\n", tar
            printf "(d) removal of the staged tree under Wine: %.3f s\n", value["removal_seconds"]
            printf "(b)/(a) under Wine: %.2f   (b)/(a) native: %.2f   (b)/(c): %.2f\n", value["ours_mbs"] / value["floor_wine_mbs"], value["ours_mbs"] / value["floor_native_mbs"], value["ours_mbs"] / tar
        }' files="$files" "$results"
done
