#!/usr/bin/env bash
# A long fuzz run of the archive reader (the test suite makes a short one).
#   scripts/fuzz.sh [RUNS]     default: 50 million executions
# The corpus grows in build/fuzz/fuzz-work and is reused by later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-50000000}
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
exec tests/fuzz/run-fuzz.sh build/fuzz/archive_fuzz build/fuzz/setup-pack build/fuzz/fuzz-work "$runs"
