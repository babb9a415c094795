#!/usr/bin/env bash
# A long fuzz run of one target (the test suite makes a short one of each).
#   scripts/fuzz.sh [TARGET] [RUNS]
# TARGET: archive (the default), format, shell_value, version, or one of the
# others the fuzz build has; RUNS defaults to 10 million executions. The
# corpus grows in build/fuzz/TARGET-work and is reused
# by later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
target=archive
if [ $# -gt 0 ] && ! [[ $1 =~ ^[0-9]+$ ]]; then target=$1; shift; fi
runs=${1:-10000000}
if [ -z "${SETUP_FUZZ_NO_DEPS:-}" ]; then bash scripts/install-deps.sh; fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${target}_fuzz"
pack=()
if [ "$target" = archive ]; then
    cmake --build --preset fuzz --target setup-pack
    pack=(build/fuzz/setup-pack)
fi
exec tests/fuzz/run-target.sh "$target" "build/fuzz/${target}_fuzz" "build/fuzz/${target}-work" "$runs" "${pack[@]}"
