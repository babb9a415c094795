#!/usr/bin/env bash
# The largest payload a 32-bit installer carries under Wine: for each size,
# an installer of the example's setup INI and a payload of that many MiB of
# incompressible files (so the image is as large), with and without the
# large-address-aware flag, run as "setup.exe -s" under setup-driver.exe in
# one throwaway Wine root. Each run is classed as:
#   installs          its message boxes shown, exit code 1, files installed
#   no window         it ran but could show no dialog or message box
#   does not start    the image could not be mapped (error 8)
# setup-pack build refuses images above its limit, so the installers are made
# by bench/BigInstaller.cpp, which does the same resource work without one;
# the table says which of them setup-pack build would accept.
# It needs about 3 x the largest size in free disk space and time (each run
# installs the whole payload). It checks nothing; it is not a test.
#   bench/big-payload.sh [SIZE_MIB...]    (default: 1800 1900 1950 1970 2000)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$src/build/bench/big-payload
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1800 1900 1950 1970 2000)
largest=$(printf '%s\n' "${sizes[@]}" | sort -n | tail -n 1)
mkdir -p "$out"
free_mib=$(df -m --output=avail "$out" | tail -n 1 | tr -d ' ')
if [ "$free_mib" -lt $((largest * 3 + 1024)) ]; then
    echo "bench/big-payload.sh: $free_mib MiB free in $out; it needs about $((largest * 3 + 1024))" >&2
    exit 1
fi

echo "== building the stub, setup-driver.exe, Sample Notes and setup-pack"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setup-stub setup-driver SampleNotes host_tools >/dev/null
setup_pack=$src/build/win32/host/setup-pack
stub=$src/build/win32/setup-stub.exe
g++ -std=c++17 -O2 -I"$src/tools/packer" "$src/bench/BigInstaller.cpp" "$src/tools/packer/PeImage.cpp" \
    -o "$out/big-installer"

# A pool of 64 MiB random chunks; each payload links as many as it needs and
# adds a remainder.
chunk_mib=64
mkdir -p "$out/pool"
for ((i = 0; i < largest / chunk_mib; ++i)); do
    chunk=$out/pool/chunk$(printf %03d $i).bin
    [ -f "$chunk" ] || head -c $((chunk_mib << 20)) /dev/urandom >"$chunk"
done

state=$out/wine-root.txt
cleanup() { timeout --kill-after=10 120 bash tests/wine/prefix.sh cleanup "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
mkdir -p "$out/bin"
cp "$src/build/win32/bin/setup-driver.exe" "$out/bin/"
echo "== making a Wine root"
if ! timeout --kill-after=10 600 bash tests/wine/prefix.sh setup "$state" "$out/bin" >"$out/wine-root.log" 2>&1; then
    tail -n 5 "$out/wine-root.log" >&2
    echo "bench/big-payload.sh: no Wine root could be made (log: $out/wine-root.log)" >&2
    exit 1
fi
root=$(cat "$state")
owner=$(stat -c %u:%g "$root")

results=()
for size in "${sizes[@]}"; do
    payload=$out/payload-$size
    rm -rf "$payload"
    mkdir -p "$payload/Program"
    cp "$src/build/win32/bin/SampleNotes.exe" "$payload/Program/"
    whole=$((size / chunk_mib))
    for ((i = 0; i < whole; ++i)); do ln "$out/pool/chunk$(printf %03d $i).bin" "$payload/Program/"; done
    rest=$(((size - whole * chunk_mib) << 20))
    [ "$rest" = 0 ] || head -c "$rest" /dev/urandom >"$payload/Program/rest.bin"
    echo "== $size MiB: packing"
    "$setup_pack" create "$payload" "$out/payload.zot" >/dev/null
    rm -rf "$payload"
    for flag in on off; do
        option=()
        [ $flag = on ] || option=(--no-large-address-aware)
        image=$("$out/big-installer" "$stub" "$src/examples/setup.ini" "$out/payload.zot" "$root/bin/setup.exe" "${option[@]}")
        chown "$owner" "$root/bin/setup.exe"
        image_mib=$((image >> 20))
        accepted=no
        [ "$image" -le $((1800 << 20)) ] && accepted=yes
        echo "== $size MiB payload, image $image_mib MiB, large-address-aware $flag: running"
        log=$out/run-$size-$flag.log
        start=$(date +%s)
        set +e
        timeout --kill-after=10 1800 bash tests/wine/run.sh "$state" setup-driver.exe --timeout 1500 --report \
            --close-window "Sample Notes" -- setup.exe -s >"$log" 2>&1 </dev/null
        set -e
        seconds=$(($(date +%s) - start))
        windows=$(grep -cE '^\[[0-9]+\] at ' "$log" || true)
        exit_code=$(sed -n 's/^setup\.exe ended with exit code \([0-9]*\) .*/\1/p' "$log" | tail -n 1)
        files=$(sed -n 's/^Summary: \([0-9]*\) program.*/\1/p' "$log" | tail -n 1)
        if grep -q '^Could not start' "$log"; then
            outcome="does not start ($(sed -n 's/.*(error \([0-9]*\)).*/error \1/p' "$log" | head -n 1))"
        elif [ "$windows" = 0 ]; then
            outcome="no window (exit code ${exit_code:-?}, ${files:-0} file(s))"
        elif [ "$exit_code" = 1 ]; then
            outcome="installs ($windows window(s), ${files:-0} file(s))"
        else
            outcome="fails ($windows window(s), exit code ${exit_code:-?})"
        fi
        results+=("$(printf '%8s %9s %5s %-10s %7ss  %s' "$size" "$image_mib" "$flag" "$accepted" "$seconds" "$outcome")")
        echo "   $outcome"
        # Room for the next run: the installed copy goes.
        rm -rf "$root/prefix/drive_c/Program Files/SampleNotes" "$root/bin/setup.exe"
    done
done
rm -f "$out/payload.zot"

echo
printf '%8s %9s %5s %-10s %8s  %s\n' "payload" "image" "LAA" "setup-pack" "time" "outcome"
printf '%8s %9s %5s %-10s %8s\n' "MiB" "MiB" "" "accepts"
printf '%s\n' "${results[@]}"
echo "(logs: $out/run-SIZE-on|off.log; the pool of random chunks stays in $out/pool)"
