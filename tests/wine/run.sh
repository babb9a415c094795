#!/usr/bin/env bash
# The emulator of the cross build's tests: runs a Windows program of the
# build under Wine in the test run's environment (see prefix.sh).
#   run.sh STATE_FILE PROGRAM [ARGUMENTS...]
# PROGRAM is taken from the root's copy of the build's bin folder, so the test
# user never needs access to the build tree.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

state=${1:?state file}; shift
program=${1:?program}; shift
if [ ! -f "$state" ]; then
    echo "No Wine test environment: run the tests through ctest (fixture wine) or scripts/test.sh" >&2
    exit 1
fi
root=$(cat "$state")
cd "$root/bin"
wine_as_user "$root" wine "$root/bin/$(basename "$program")" "$@"
