#!/usr/bin/env bash
# Plants faults one at a time in a scratch copy of the tree, runs the tests
# that should notice each, and prints which were caught and which survived.
# Run by hand (it takes a while), not part of the test suite.
#   scripts/mutants.sh [--keep] [ID...]    default: every fault of the list
# The scratch copy and its builds live in ${SETUP_MUTANTS_DIR:-/tmp/setup-mutants};
# with --keep they stay for the next run, which is then much quicker.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=${SETUP_MUTANTS_DIR:-/tmp/setup-mutants}
keep=0
if [ "${1:-}" = --keep ]; then keep=1; shift; fi

# One fault per line, fields separated by " @@ ": ID, FILE, TEXT, REPLACEMENT,
# PRESET, TESTS.
#   TEXT must occur exactly once in FILE; REPLACEMENT takes its place (\n is
#   a line break in both). PRESET is native, fuzz or win32; TESTS is a ctest regex.
# The faults are listed in scripts/mutants.d/*.list, a file per subject; lines
# that are empty or start with # are skipped.
faults() {
    cat "$here"/scripts/mutants.d/*.list | grep -v -e '^#' -e '^[[:space:]]*$'
}

# Replaces the one occurrence of TEXT in FILE; false when it is not there
# exactly once.
plant() {
    python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
text = open(path).read()
if text.count(old) != 1:
    sys.exit(1)
open(path, 'w').write(text.replace(old, new))
PY
}

echo "== scratch copy in $scratch"
mkdir -p "$scratch"
# The tracked files as they are in the work tree (changes not yet committed
# included); builds made there before stay, so a --keep run is incremental.
mkdir -p "$scratch/src-tree"
(cd "$here" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$scratch/src-tree"
cd "$scratch/src-tree"

state=$scratch/wine-root.txt
prepared_win32=0
# Faults marked win32 are tested on the 32-bit build, or on the 64-bit build
# of the same sources where the machine cannot execute 32-bit programs.
. tests/wine/wine-env.sh
win=win32
if ! machine_runs_i386; then win=win64; fi
prepare_win32() {
    [ $prepared_win32 = 1 ] && return
    cmake --preset $win >/dev/null
    cmake --build --preset $win >/dev/null
    # One Wine environment for every fault: the fixture's setup runs once.
    tests/wine/prefix.sh setup "$state" build/$win/bin $win >/dev/null
    cp "$state" build/$win/wine-root.txt
    prepared_win32=1
}
prepared_fuzz=0
prepare_fuzz() {
    [ $prepared_fuzz = 1 ] && return
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz >/dev/null
    prepared_fuzz=1
}
prepared_native=0
prepare_native() {
    [ $prepared_native = 1 ] && return
    cmake --preset native >/dev/null
    cmake --build --preset native >/dev/null
    prepared_native=1
}
cleanup() {
    [ $prepared_win32 = 1 ] && tests/wine/prefix.sh cleanup "$state" || true
    [ $keep = 1 ] || rm -rf "$scratch"
}
trap cleanup EXIT

# Builds the tree with one fault planted; false when it does not build, which
# says nothing of the tests: such a fault counts as not caught.
build_planted() {
    local preset=$1
    [ "$preset" = win32 ] && preset=$win
    cmake --build --preset "$preset" >/dev/null 2>&1
}

# Runs the tests of one fault; 0 when they all pass (the fault survived).
run_tests() {
    local preset=$1 regex=$2
    if [ "$preset" = native ] || [ "$preset" = fuzz ]; then
        ctest --preset "$preset" -R "$regex" >/dev/null 2>&1
        return
    fi
    # The environment's copy of the programs must be the ones just built.
    local root; root=$(cat "$state")
    cp -a build/$win/bin/. "$root/bin/"
    chown -R "$(wine_user_ids | tr ' ' ':')" "$root/bin"
    ctest --preset $win -R "$regex" -FS wine -FC wine >/dev/null 2>&1
}

declare -a rows
caught=0; survived=0
while IFS=$'\x1f' read -r id file text replacement preset tests; do
    [ -n "$id" ] || continue
    if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$id"; then continue; fi
    [ "$preset" = win32 ] && prepare_win32
    [ "$preset" = native ] && prepare_native
    [ "$preset" = fuzz ] && prepare_fuzz
    cp "$file" "$file.orig"
    if ! plant "$file" "$text" "$replacement"; then
        rows+=("$(printf '%-28s %-10s %s' "$id" "NOT PLANTED" "$file")")
        mv "$file.orig" "$file"
        survived=$((survived + 1))
        continue
    fi
    if ! build_planted "$preset"; then
        result="NOT BUILT"; survived=$((survived + 1))
    elif run_tests "$preset" "$tests"; then
        result=SURVIVED; survived=$((survived + 1))
    else
        result=caught; caught=$((caught + 1))
    fi
    mv "$file.orig" "$file"
    touch "$file"
    rows+=("$(printf '%-28s %-10s %s (%s)' "$id" "$result" "$file" "$tests")")
    echo "${rows[-1]}"
done < <(faults | sed 's/ @@ /\x1f/g')
# Leave the builds as the tree is.
[ $prepared_native = 1 ] && cmake --build --preset native >/dev/null 2>&1 || true
[ $prepared_fuzz = 1 ] && cmake --build --preset fuzz >/dev/null 2>&1 || true

echo
echo "== $caught caught, $survived survived, not planted or not built"
printf '%s\n' "${rows[@]}"
[ $survived = 0 ]
