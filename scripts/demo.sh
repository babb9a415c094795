#!/usr/bin/env bash
# The installer at work, start to finish, on a fresh Debian 12 machine (run
# as root, or as a user once the packages are there):
#   1. installs the build and test packages,
#   2. cross-builds setup.exe (with the example program Sample Notes inside)
#      and setup-driver.exe in a build folder of its own (build/demo), so that
#      whatever a vendor configured in build/win32 does not change the demo
#      (build/demo-win64, the 64-bit build, on a machine that cannot execute
#      32-bit programs),
#   3. makes a throwaway Wine root (prefix, HOME, copy of build/demo/bin),
#   4. runs "setup.exe -s" under setup-driver.exe, which answers every
#      message box with its default button and prints what it saw, closes the
#      Sample Notes window that setup starts at its end, and lists what the
#      installation left behind (files, registry, shortcuts),
#   5. says how far the run got, and removes the Wine root (which also ends
#      any program the installer left running).
# Every wait is bounded: the Wine root gets 300 s to boot, setup.exe 120 s,
# the Sample Notes window 10 s to appear and 5 s to close, and the whole run
# under the driver 240 s.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$(pwd)

. tests/wine/wine-env.sh
bash scripts/install-deps.sh

# The installer is a 32-bit program. Where this machine cannot execute 32-bit
# programs, the demo runs the 64-bit build of the same sources under 64-bit
# Wine instead (as the tests do there).
preset=win32
if ! machine_runs_i386; then
    preset=win64
    echo "This machine cannot execute 32-bit programs: the demo runs the 64-bit build under 64-bit Wine."
fi
mkdir -p build
build_dir=build/demo
[ $preset = win32 ] || build_dir=build/demo-$preset
build_log=build/demo-build.log
echo "== Building the example installer in $build_dir (log: $build_log)"
# The example's setup INI and payload (and no other icon or company), named
# on every run: the cache of this folder never keeps another installer's
# inputs.
if ! { cmake --preset $preset -B "$build_dir" \
        -DSETUP_INI="$root_dir/examples/setup.ini" -DSETUP_PAYLOAD_DIR= -DSETUP_ICON= -DSETUP_COMPANY= &&
       cmake --build "$build_dir" --parallel 2 --target setup setup-driver; } >"$build_log" 2>&1; then
    tail -n 40 "$build_log"
    echo "The build failed; see $build_log." >&2
    exit 1
fi

state=$root_dir/build/demo-wine-root.txt
cleanup() { timeout --kill-after=10 120 bash tests/wine/prefix.sh cleanup "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
echo "== Making a throwaway Wine root"
set +e
timeout --kill-after=10 300 bash tests/wine/prefix.sh setup "$state" "$build_dir/bin" $preset 2>&1 | grep -v '^wine: '
prefix_status=${PIPESTATUS[0]}
set -e
[ "$prefix_status" = 0 ] || { echo "The Wine root could not be made." >&2; exit 1; }

echo "== Running setup.exe -s under setup-driver.exe"
log=build/demo-run.log
# The driver's output goes to a file, not a pipe: a program that setup.exe
# starts inherits it and could hold a pipe open after the driver ended.
# tail follows the file until the driver's process is gone; timeout ends the
# driver (and what it started) if it ever outlives its own bounds.
: >"$log"
timeout --kill-after=10 240 \
    bash tests/wine/run.sh "$state" setup-driver.exe --timeout 120 --report --close-window "Sample Notes" \
    -- setup.exe -s >"$log" 2>&1 </dev/null &
driver_pid=$!
tail --pid="$driver_pid" -n +1 -f "$log" | grep -v '^wine: ' || true
set +e
wait "$driver_pid"
driver_status=$?
set -e
case $driver_status in
0|1) ;;  # ran to its end; 1: something was not as a full install would have it
2) echo "setup.exe did not finish in time and was killed." >&2; exit 1 ;;
124|137) echo "setup-driver.exe did not finish in time and was stopped." >&2; exit 1 ;;
*) echo "setup-driver.exe could not run setup.exe (status $driver_status)." >&2; exit 1 ;;
esac

# How far the run got, from what the driver printed.
field() { grep '^Summary: ' "$log" | tail -n 1 | sed -n "s/$1/\\1/p" || true; }
exit_code=$(sed -n 's/^setup\.exe ended with exit code \([0-9]*\) .*/\1/p' "$log" | tail -n 1)
program_files=$(field '^Summary: \([0-9]*\) program.*')
documents=$(field '.*, \([0-9]*\) document.*')
registry=$(field '.*registry entries \([0-9]*\) of.*')
registry_of=$(field '.*registry entries [0-9]* of \([0-9]*\).*')
shortcuts=$(field '.*shortcuts \([0-9]*\) of.*')
windows=$(grep -cE '^\[[0-9]+\] at ' "$log" || true)

step() {  # step DONE TEXT
    if [ "$1" = yes ]; then echo "  [x] $2"; else echo "  [ ] $2"; fi
}
yes_if() { if "$@"; then echo yes; else echo no; fi; }
captioned() { grep -qE '^\[[0-9]+\] at .*(message box|dialog) "Sample Notes"' "$log"; }
positive() { [ "${1:-0}" -gt 0 ]; }

echo
echo "== How far the run got"
echo "setup.exe showed $windows window(s) and ended with exit code ${exit_code:-?}."
step yes "setup.exe ran and ended by itself"
step "$(yes_if captioned)" "configuration loaded (its messages are captioned \"Sample Notes\")"
step "$(yes_if positive $((${program_files:-0} + ${documents:-0})))" \
    "files installed (${program_files:-0} program file(s), ${documents:-0} document file(s))"
step "$(yes_if positive "$registry")" "program registered (${registry:-0} of ${registry_of:-?} registry entries)"
step "$(yes_if positive "$shortcuts")" "shortcuts made (${shortcuts:-0} of 2)"
step "$(yes_if [ "$exit_code" = 1 ])" "installation reported complete (exit code 1)"
step "$(yes_if grep -q '^Found the window "Sample Notes"' "$log")" "Sample Notes started at the end (and was closed)"
if [ "$exit_code" = 1 ]; then
    echo "Result: Sample Notes was installed."
elif [ "$windows" -gt 0 ]; then
    echo "Result: nothing was installed; the last message above says why."
else
    echo "Result: nothing was installed, and setup.exe showed no message about it."
fi
