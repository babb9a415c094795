#!/usr/bin/env bash
# Runs one fuzz target from a few seeds of its own.
#   run-target.sh TARGET FUZZER WORK_DIR RUNS [SETUP_PACK]
# TARGET is archive, format, shell_value, version or profile; the archive
# target's seeds are archives made by SETUP_PACK. WORK_DIR keeps the corpus
# between runs; findings are written there too.
set -euo pipefail
target=${1:?target}; fuzzer=${2:?fuzzer}; work=${3:?work dir}; runs=${4:?runs}; pack=${5:-}

mkdir -p "$work/corpus" "$work/seeds"
seed() { printf "$2" > "$work/seeds/$1"; }
max_len=1024
case $target in
archive)
    [ -n "$pack" ] || { echo "the archive target needs SETUP_PACK" >&2; exit 2; }
    max_len=4096
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    # An empty archive, 8-bit names, wide names, a read-only file, folders.
    mkdir -p "$tree/a/Program/sub" "$tree/a/Documents" "$tree/b/Program" "$tree/c/Program"
    printf 'hello, world\n' > "$tree/a/Program/sub/hello.txt"
    head -c 3000 /dev/zero > "$tree/a/Program/zeros.bin"
    printf '[.ShellClassInfo]\r\nIconFile=%%s\\x.exe\r\n' > "$tree/a/Documents/Desktop.INI"
    chmod a-w "$tree/a/Program/sub/hello.txt"
    printf 'caf\xc3\xa9' > "$tree/b/Program/caf$(printf '\xc3\xa9').txt"
    "$pack" create "$tree/a" "$work/seeds/ansi.zot" >/dev/null
    "$pack" create "$tree/b" "$work/seeds/wide.zot" >/dev/null
    "$pack" create "$tree/c" "$work/seeds/empty.zot" >/dev/null
    ;;
format)
    seed texts '\x80\x03Install %%s %%s?\0Sample Notes\0001.2\0Sample Notes'
    seed percent '\x10\x01100%%%% %%d %%\0x'
    seed cut '\x05\x02%%s%%s\0abcdef\0ghi'
    ;;
shell_value)
    seed icon '%%s\\notes.exe\0%%ProgramFiles%%\\Notes'
    seed tip '%%s %%s %%%% %%d\0The notes folder'
    # A value as long as the reader can hold: it may have been cut.
    head -c 300 /dev/zero | tr '\0' 'v' > "$work/seeds/long"
    ;;
version)
    seed plain '1.2\0001.10'
    seed signs ' -3.+4\0+99999999999.-7'
    seed none 'beta\0.5'
    ;;
profile)
    seed ini '[Settings]\r\nProgName=Notes\r\n[EN]\r\nInstallDesc=Install %%s?\r\n'
    seed odd '; c\r\n[ Settings ]\nProgName = "Notes"\r\n[EN\r\n=x\r\nk=v=w\r\n'
    ;;
*)
    echo "unknown target $target" >&2
    exit 2
    ;;
esac

status=0
"$fuzzer" -runs="$runs" -max_len=$max_len -timeout=10 -artifact_prefix="$work/" -print_final_stats=1 \
    "$work/corpus" "$work/seeds" > "$work/log" 2>&1 || status=$?
grep -E '^stat::number_of_executed_units|^stat::peak_rss|^Done' "$work/log" || true
if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log"
    echo "the fuzzer found a problem: see $work" >&2
fi
exit "$status"
