#!/usr/bin/env bash
# Prints two sets of figures (it checks nothing; it is not a test):
#   (a) the size of setup.exe built with an empty payload (build/bench-empty)
#       and with the example payload (build/win32);
#   (b) what the uninstall library adds to a program that links it;
#   (c) ArchiveCrc throughput in MB/s over a 64 MiB buffer, natively and
#       under Wine, with the checksum code compiled as setup.exe compiles it.
# Usage: bench/size-and-crc.sh   (from anywhere; builds what it needs)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$src/build/bench
mkdir -p "$out/bin" "$out/empty-payload"

size_of() { stat -c %s "$1"; }
kib() { awk -v n="$1" 'BEGIN { printf "%.1f", n / 1024 }'; }

echo "== setup.exe size"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setup >/dev/null
cmake -S "$src" -B "$src/build/bench-empty" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/i686-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DSETUP_PAYLOAD_DIR="$out/empty-payload" >/dev/null
cmake --build "$src/build/bench-empty" --target setup -j2 >/dev/null
empty=$(size_of "$src/build/bench-empty/setup.exe")
example=$(size_of "$src/build/win32/setup.exe")
printf '  empty payload:   %7d bytes (%s KiB)\n' "$empty" "$(kib "$empty")"
printf '  example payload: %7d bytes (%s KiB; payload %d bytes)\n' "$example" "$(kib "$example")" \
    "$("$src/build/win32/host/setup-pack" verify "$src/build/win32/setup.exe" | sed -n 's/^verified: .*, \([0-9]*\) bytes$/\1/p')"

echo "== uninstall component (what it adds to a program that links it)"
cmake --build --preset win32 --target setup_uninstall_library setup-uninstall >/dev/null
"$src/tests/build/check-uninstall.sh" "$src/build/win32/uninstall" "$src/bench/UninstallSizeProbe.c" \
    i686-w64-mingw32-objdump "$out/uninstall" | sed 's/^/  /'

echo "== ArchiveCrc throughput (64 MiB)"
# The checksum code with the installer's size flags; the driver with -O2.
size_flags=(-Oz -fno-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections)
g++ -std=c++17 "${size_flags[@]}" -I"$src/src" -c "$src/src/archive/ArchiveFormat.cpp" -o "$out/ArchiveFormat.o"
g++ -std=c++17 -O2 -I"$src/src" "$src/bench/CrcBench.cpp" "$out/ArchiveFormat.o" -o "$out/crc-bench"
i686-w64-mingw32-g++-posix -std=c++17 "${size_flags[@]}" -mpreferred-stack-boundary=2 -I"$src/src" -c "$src/src/archive/ArchiveFormat.cpp" \
    -o "$out/ArchiveFormat.obj"
i686-w64-mingw32-g++-posix -std=c++17 -O2 -static -I"$src/src" "$src/bench/CrcBench.cpp" "$out/ArchiveFormat.obj" \
    -o "$out/bin/crc-bench.exe"

echo "-- native (x86-64)"
"$out/crc-bench" | sed 's/^/  /'

echo "-- Wine (i686)"
state=$out/wine-state.txt
cleanup() { "$src/tests/wine/prefix.sh" cleanup "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
"$src/tests/wine/prefix.sh" setup "$state" "$out/bin" >/dev/null 2>&1
"$src/tests/wine/run.sh" "$state" crc-bench.exe | tr -d '\r' | sed 's/^/  /'
