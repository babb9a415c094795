#!/usr/bin/env bash
# Runs the archive fuzz target from a seed corpus made by the packer.
#   run-fuzz.sh FUZZER SETUP_PACK WORK_DIR RUNS
# WORK_DIR keeps the corpus between runs; findings are written there too.
set -euo pipefail
fuzzer=${1:?fuzzer}; pack=${2:?setup-pack}; work=${3:?work dir}; runs=${4:?runs}

mkdir -p "$work/corpus" "$work/seeds"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

# Seeds: an empty archive, 8-bit names, wide names, a read-only file, folders.
mkdir -p "$tree/a/Program/sub" "$tree/a/Documents" "$tree/b/Program" "$tree/c/Program"
printf 'hello, world\n' > "$tree/a/Program/sub/hello.txt"
head -c 3000 /dev/zero > "$tree/a/Program/zeros.bin"
printf '[.ShellClassInfo]\r\nIconFile=%%s\\x.exe\r\n' > "$tree/a/Documents/Desktop.INI"
chmod a-w "$tree/a/Program/sub/hello.txt"
printf 'caf\xc3\xa9' > "$tree/b/Program/caf$(printf '\xc3\xa9').txt"
"$pack" create "$tree/a" "$work/seeds/ansi.zot" >/dev/null
"$pack" create "$tree/b" "$work/seeds/wide.zot" >/dev/null
"$pack" create "$tree/c" "$work/seeds/empty.zot" >/dev/null

status=0
"$fuzzer" -runs="$runs" -max_len=4096 -timeout=10 -artifact_prefix="$work/" -print_final_stats=1 \
    "$work/corpus" "$work/seeds" > "$work/log" 2>&1 || status=$?
grep -E '^stat::number_of_executed_units|^stat::peak_rss|^Done' "$work/log" || true
if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log"
    echo "the fuzzer found a problem: see $work" >&2
fi
exit "$status"
