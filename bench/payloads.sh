# Shared by bench/vs-nsis.sh and bench/phase-profile.sh: their common options,
# the scratch folder, the Windows helpers, the benchmark payloads and the
# setup INI. The caller sets src (the worktree) and out (its output folder);
# size, files, seed, rounds and cpus come from the common options.
#
# Payloads, all deterministic (bench/make-tree.py, log-normal sizes, a seed):
#   many   SIZE MiB in FILES files
#   large  SIZE MiB in 20 files
#   empty  the fixed cost: Program\ holds BenchProg.exe alone, no documents
#          (setup-pack refuses a payload without the program it installs;
#          the NSIS installer of this payload carries the same one file)
# Every payload holds Program\BenchProg.exe, a program that ends at once;
# many and large also hold Documents\Readme.txt.

size=200 files=2000 seed=1 rounds=3 cpus=""

# common_option OPTION VALUE: takes one of the options both benchmarks share
# (--size, --files, --seed, --rounds, --cpus); false for any other. The
# caller then shifts both words.
common_option() {
    case $1 in
    --size) size=$2 ;;
    --files) files=$2 ;;
    --seed) seed=$2 ;;
    --rounds) rounds=$2 ;;
    --cpus) cpus=$2 ;;
    *) return 1 ;;
    esac
}

# The command words that keep a Wine process on the processors of --cpus
# (none: anywhere), in the array pin.
set_pin() {
    pin=()
    if [ -n "$cpus" ]; then pin=(taskset -c "$cpus"); fi
}

# make_work NAME: a scratch folder on tmpfs in $work, removed at exit with
# the Wine servers of the prefixes in it.
make_work() {
    work=$(mktemp -d "/dev/shm/setup-$1.XXXXXX")
    chmod 755 "$work"
    trap cleanup_work EXIT
}
cleanup_work() {
    for root in "$work"/*/; do
        [ -d "$root/prefix" ] && wine_as_user "${root%/}" wineserver -k 2>/dev/null || true
    done
    rm -rf "$work"
}

# Builds install-timer.exe and BenchProg.exe into $out/bin.
build_bench_helpers() {
    local cross=(i686-w64-mingw32-g++-posix -std=c++17 -O2 -static -DNOMINMAX)
    mkdir -p "$out/bin"
    "${cross[@]}" -I"$src/tests/harness" -I"$src/src" "$src/bench/InstallTimer.cpp" \
        "$src/tests/harness/ProcessRunner.cpp" "$src/tests/harness/WindowWatcher.cpp" "$src/tests/harness/Responders.cpp" \
        -luser32 -ladvapi32 -lshell32 -lshlwapi -lole32 -luuid -o "$out/bin/install-timer.exe"
    i686-w64-mingw32-g++-posix -Os -s -nostartfiles -nostdlib -mwindows -Wl,-e,_benchEntry \
        "$src/bench/BenchProgram.cpp" -lkernel32 -o "$out/bin/BenchProg.exe"
}

payload_dir() {
    case $1 in
    empty) echo "$out/payload-empty-program" ;;
    *) echo "$out/payload-$1-$size-$files-$seed" ;;
    esac
}

make_payload() {
    local name=$1 dir; dir=$(payload_dir "$1")
    # The program is put in every time: it is rebuilt with every run.
    if [ -f "$dir.done" ]; then
        cp "$out/bin/BenchProg.exe" "$dir/Program/BenchProg.exe"
        return 0
    fi
    echo "== payload $name" >&2
    rm -rf "$dir"
    case $name in
    many) python3 "$src/bench/make-tree.py" "$dir" "$size" "$files" --seed "$seed" --lognormal ;;
    large) python3 "$src/bench/make-tree.py" "$dir" "$size" 20 --seed "$seed" --lognormal ;;
    empty) mkdir -p "$dir/Program" ;;
    *) echo "unknown payload $name" >&2; return 2 ;;
    esac
    cp "$out/bin/BenchProg.exe" "$dir/Program/BenchProg.exe"
    if [ "$name" != empty ]; then
        mkdir -p "$dir/Documents"
        printf 'Bench Prog documents.\r\n' > "$dir/Documents/Readme.txt"
    fi
    touch "$dir.done"
}

# Writes $out/bench.ini (the example's texts, for Bench Prog, without a file
# type) and sets ini, version and completed (the completion box's text).
make_bench_ini() {
    ini=$out/bench.ini
    python3 - "$src/examples/setup.ini" "$ini" <<'PY'
import sys
text = open(sys.argv[1], "rb").read().decode("cp1252")
out, skip = [], False
for line in text.split("\r\n"):
    if line.startswith("["):
        skip = line.strip() == "[FileType]"
    if skip:
        continue
    if line.startswith("ProgName="): line = "ProgName=Bench Prog"
    if line.startswith("ProgFile="): line = "ProgFile=BenchProg"
    if line.startswith("ProgDir="): line = "ProgDir=BenchProg"
    out.append(line)
open(sys.argv[2], "wb").write("\r\n".join(out).encode("cp1252"))
PY
    version=$(sed -n 's/^ProgVersion=\(.*\)\r$/\1/p' "$ini")
    completed=$(sed -n '/^\[EN\]/,/^\[/s/^InstallCompleted=\(.*\)\r$/\1/p' "$ini")
    completed=$(printf "$completed" "Bench Prog" "$version")
}

# A warmed prefix at $1 (home, prefix, bin with install-timer.exe), made on
# tmpfs by the caller's choice of folder. Every step is bounded.
within() {
    local seconds=$1; shift
    timeout --kill-after=10 "$seconds" bash -c '. "$0"; wine_as_user "$@"' "$src/tests/wine/wine-env.sh" "$@"
}
warm_prefix() {
    local base=$1
    mkdir -p "$base/home" "$base/prefix" "$base/bin"
    cp "$out/bin/install-timer.exe" "$base/bin/"
    chown -R $(wine_user_ids | tr ' ' ':') "$base"
    if ! within 600 "$base" wineboot -i >/dev/null 2>&1; then
        echo "wineboot did not finish within 10 minutes" >&2
        return 1
    fi
    within 120 "$base" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wine_as_user "$base" wine "$base/bin/install-timer.exe" --timeout 120 cmd.exe /c exit >/dev/null 2>&1 || true
    wine_as_user "$base" wineserver -k || true
    within 120 "$base" wineserver -w || true
}
