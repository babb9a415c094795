#!/usr/bin/env bash
# Where an install's time goes, phase by phase, under Wine. Not a test.
#
# Builds setup.exe with phase marks (SETUP_PHASE_TIMES, a benchmark-only
# definition; see src/common/PhaseMark.h) from this worktree or from a
# revision, for one payload of bench/payloads.sh, runs it unattended in fresh
# copies of one warmed prefix on tmpfs (install-timer.exe presses OK on the
# completion box) and prints per phase:
#   ms        the phase's time (min/median/max over the rounds)
#   server    Wine server requests of the installer's main thread
#             (a server of its own started with -d1; counted, not read)
#   syscalls  system calls of that thread, and of the Wine server while the
#             phase ran (strace; the server does the deletes and the file
#             opens that a client asks for)
# Counts do not depend on the machine's load; times do.
#
# usage: bench/phase-profile.sh [--payload many|large|empty] [--size MIB]
#          [--files N] [--seed N] [--rounds N] [--rev REV] [--counts]
#   --rev REV   profile a revision (it must have the phase marks)
#   --counts    one more run with the server trace and one with strace
#   --top N     also list the N most frequent requests and calls per phase
#   --cpus LIST every Wine process of a run on these processors only
#               (taskset -c; see bench/vs-nsis.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
. "$src/tests/wine/wine-env.sh"
. "$src/bench/payloads.sh"

payload=many rev="" counts=no top=0
while [ $# -gt 0 ]; do
    case $1 in
    --payload) payload=$2; shift 2 ;;
    --rev) rev=$2; shift 2 ;;
    --counts) counts=yes; shift ;;
    --top) top=$2; shift 2 ;;
    --help|-h) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) common_option "$1" "${2-}" && shift 2 ||
        { echo "phase-profile.sh: unknown option $1 (see --help)" >&2; exit 2; } ;;
    esac
done
machine_runs_i386 || { echo "phase-profile.sh: this machine cannot run 32-bit programs" >&2; exit 1; }

out=$src/build/bench/phases
mkdir -p "$out"
make_work phases

build_bench_helpers
make_payload "$payload"
make_bench_ini

source_dir=$src label=worktree
if [ -n "$rev" ]; then
    label=$(git -C "$src" rev-parse --short "$rev")
    source_dir=$out/src-$label
    rm -rf "$source_dir"; mkdir -p "$source_dir"
    git -C "$src" archive "$rev" | tar -x -C "$source_dir"
fi
build=$out/build-$label
echo "== setup.exe with phase marks ($label, $payload)" >&2
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-DSETUP_PHASE_TIMES \
    -DSETUP_PAYLOAD_DIR="$(payload_dir "$payload")" -DSETUP_INI="$ini" >/dev/null
cmake --build "$build" --target setup -j2 >/dev/null

echo "== warming a Wine prefix" >&2
base=$work/base
warm_prefix "$base"
cp "$build/setup.exe" "$base/bin/setup.exe"
chown $(wine_user_ids | tr ' ' ':') "$base/bin/setup.exe"

# run_one KIND N: one install in a fresh prefix copy; KIND plain, server or
# strace. Leaves its phase log (and traces) in $work/results/KIND-N.*
mkdir -p "$work/results"
chmod 777 "$work/results"
set_pin
run_one() {
    local kind=$1 n=$2 root=$work/run res=$work/results/$1-$2
    rm -rf "$root"
    cp -a "$base" "$root"
    local log="Z:${res//\//\\}.phases"
    case $kind in
    server)
        wine_as_user "$root" "${pin[@]}" wineserver -d1 -f -p30 </dev/null >/dev/null 2>"$res.server" &
        ;;
    strace)
        wine_as_user "$root" "${pin[@]}" strace -f -ttt -qq -o "$res.srv" wineserver -f -p30 </dev/null >/dev/null 2>&1 &
        ;;
    *) wine_as_user "$root" "${pin[@]}" wineserver -p30 </dev/null >/dev/null 2>&1 ;;
    esac
    sleep 1
    wine_as_user "$root" "${pin[@]}" wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    local timer=("${pin[@]}" wine "$root/bin/install-timer.exe" --timeout 900 "Z:${root//\//\\}\\bin\\setup.exe" -s)
    [ "$kind" = strace ] && timer=(strace -ff -ttt -qq -o "$res.cli" "${timer[@]}")
    wine_as_user "$root" env SETUP_PHASE_LOG="$log" "${timer[@]}" </dev/null >"$res.timer" 2>&1 || true
    wine_as_user "$root" wineserver -k 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$root"
}

phases=(loader start configuration lookup running checksum extraction copy registration shortcuts box launch removal)
for ((r = 1; r <= rounds; r++)); do run_one plain "$r"; done
if [ "$counts" = yes ]; then run_one server 1; run_one strace 1; fi

# The raw results stay in $out/results-LABEL (phase logs, traces).
kept=$out/results-$label-$payload
rm -rf "$kept"
cp -a "$work/results" "$kept"
python3 - "$kept" "$rounds" "$counts" "$top" <<'PY'
import collections, glob, os, re, statistics, sys
results, rounds, counts, top = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "yes", int(sys.argv[4])
order = ["loader", "start", "configuration", "lookup", "running", "checksum", "extraction", "copy",
         "registration", "shortcuts", "box", "launch", "removal"]

def marks(path):
    """[(name, seconds since the Unix epoch)] of one phase log."""
    out = []
    for line in open(path, encoding="latin-1"):
        name, high, low = line.split()
        out.append((name, ((int(high) << 32) | int(low)) / 1e7 - 11644473600))
    return out

def spans(m):
    """{phase: (begin, end)}: "process" begins the loader, each mark the phase of its name."""
    names = ["loader" if n == "process" else n for n, _ in m]
    return {names[i]: (m[i][1], m[i + 1][1]) for i in range(len(m) - 1)}

times = collections.defaultdict(list)
for r in range(1, rounds + 1):
    for phase, (b, e) in spans(marks(f"{results}/plain-{r}.phases")).items():
        times[phase].append((e - b) * 1000)

server = collections.defaultdict(collections.Counter)
if counts and os.path.exists(f"{results}/server-1.server"):
    # The marks open the phase log: those create_file requests tell which
    # thread is the installer's and where each phase begins.
    lines = open(f"{results}/server-1.server", encoding="latin-1", errors="replace").read().splitlines()
    names = [n for n, _ in marks(f"{results}/server-1.phases")]
    names = ["loader" if n == "process" else n for n in names]
    request = re.compile(r"^([0-9a-f]{4}): ([a-z_0-9]+)\(")
    thread, k, phase = None, 0, None
    for line in lines:
        mo = request.match(line)
        if not mo or ") = " in line:
            continue
        if mo.group(2) == "create_file" and "server-1.phases" in line.replace("\\\\", "\\"):
            thread = mo.group(1)
            # the first mark writes two lines ("process", "start")
            k += 2 if k == 0 else 1
            phase = names[k - 1] if k - 1 < len(names) else None
            continue
        if phase and mo.group(1) == thread:
            server[phase][mo.group(2)] += 1

client = collections.defaultdict(collections.Counter)
srv = collections.defaultdict(collections.Counter)
if counts and glob.glob(f"{results}/strace-1.cli.*"):
    sp = spans(marks(f"{results}/strace-1.phases"))
    def phase_at(t):
        for p, (b, e) in sp.items():
            if b <= t < e:
                return p
        return None
    call = re.compile(r"^(?:(\d+) +)?(\d+\.\d+) ([a-z_0-9]+)\(")
    # The installer's main thread is the one that wrote the marks.
    for path in glob.glob(f"{results}/strace-1.cli.*"):
        text = open(path, encoding="latin-1", errors="replace").read()
        if '"start ' not in text:
            continue
        for line in text.splitlines():
            mo = call.match(line)
            if mo:
                p = phase_at(float(mo.group(2)))
                if p: client[p][mo.group(3)] += 1
    if os.path.exists(f"{results}/strace-1.srv"):
        for line in open(f"{results}/strace-1.srv", encoding="latin-1", errors="replace"):
            mo = call.match(line)
            if mo:
                p = phase_at(float(mo.group(2)))
                if p: srv[p][mo.group(3)] += 1

print(f"{'phase':<14}{'ms min/median/max':>24}" + (f"{'server req':>12}{'client calls':>14}{'server calls':>14}" if counts else ""))
total = [0.0] * 3
for p in order:
    v = sorted(times.get(p, []))
    if not v:
        continue
    row = f"{p:<14}{v[0]:>8.1f}/{statistics.median(v):>7.1f}/{v[-1]:>7.1f}"
    if counts:
        row += f"{sum(server[p].values()):>12}{sum(client[p].values()):>14}{sum(srv[p].values()):>14}"
    print(row)
    if top and counts:
        for title, c in (("server", server[p]), ("client", client[p]), ("wineserver", srv[p])):
            if c:
                print(f"    {title}: " + ", ".join(f"{n} {k}" for n, k in c.most_common(top)))
per_round = [sum(x) for x in zip(*[times[p] for p in order if p in times])]
if per_round:
    print(f"{'process->exit':<14}{min(per_round):>8.1f}/{statistics.median(per_round):>7.1f}/{max(per_round):>7.1f}")
PY
