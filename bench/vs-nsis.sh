#!/usr/bin/env bash
# setup.exe side by side with an NSIS installer of the same files, under Wine.
# Prints figures; it checks nothing but the installed bytes, and is not a test.
#
# Three payloads, all deterministic (bench/make-tree.py with log-normal sizes
# and a seed; text-like, binary-like and incompressible thirds):
#   many   SIZE MiB in FILES files (default 200 MiB, 2,000 files)
#   large  SIZE MiB in 20 files (few creations)
#   empty  no files at all (our 10-byte archive; NSIS with no File command)
# Each payload holds Program\ (the files and BenchProg.exe, a program that
# ends at once) and Documents\ (one file). For each payload the script builds
#   ours      setup.exe of this worktree,
#   baseline  setup.exe of another revision (default: main),
#   nsis      an NSIS installer made with Debian's makensis (zlib, not solid)
#             that does what ours does: the same files in the same folders,
#             the vendor key, App Paths and uninstall entries, the two
#             shortcuts, a completion message box, then the program started.
# Every run gets a fresh copy of one warmed Wine prefix on tmpfs; the order of
# the installers alternates from round to round. After each run the installed
# Program Files folder is compared byte for byte with the payload. A small
# Windows program (install-timer.exe) starts the installer (ours with -s),
# presses OK on the completion box and reports, from the installer's start:
#   box   start -> completion box
#   exit  start -> exit
# Printed per payload and installer: min / median / max over the rounds, the
# ratio of medians against NSIS, and the installers' sizes. The fixed cost is
# the empty payload's start -> exit.
#
# usage: bench/vs-nsis.sh [--size MIB] [--files N] [--seed N] [--rounds N]
#                         [--baseline REV|none] [--payloads many,large,empty]
# The machine is shared: run it with nice, and compare only figures of one run.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
. "$src/tests/wine/wine-env.sh"

size=200 files=2000 seed=1 rounds=3 baseline=main payloads=many,large,empty
while [ $# -gt 0 ]; do
    case $1 in
    --size) size=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    --payloads) payloads=$2; shift 2 ;;
    --help|-h) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "vs-nsis.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done
IFS=, read -r -a cases <<< "$payloads"
# Both installers are 32-bit programs (NSIS makes no other kind).
if ! machine_runs_i386; then
    echo "vs-nsis.sh: this machine cannot run 32-bit programs, so neither installer can run here" >&2
    exit 1
fi

out=$src/build/bench/vs-nsis
mkdir -p "$out/bin" "$out/installers"
work=$(mktemp -d /dev/shm/setup-vs-nsis.XXXXXX)
chmod 755 "$work"
cleanup() {
    for root in "$work"/*/; do
        [ -d "$root/prefix" ] && wine_as_user "${root%/}" wineserver -k 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
log() { echo "== $*" >&2; }

# --- the Windows helpers --------------------------------------------------
cross=(i686-w64-mingw32-g++-posix -std=c++17 -O2 -static -DNOMINMAX)
"${cross[@]}" -I"$src/tests/harness" -I"$src/src" "$src/bench/InstallTimer.cpp" \
    "$src/tests/harness/ProcessRunner.cpp" "$src/tests/harness/WindowWatcher.cpp" "$src/tests/harness/Responders.cpp" \
    -luser32 -ladvapi32 -lshell32 -lshlwapi -lole32 -luuid -o "$out/bin/install-timer.exe"
"${cross[@]}" -mwindows "$src/bench/BenchProgram.cpp" -o "$out/bin/BenchProg.exe"

# --- payloads ---------------------------------------------------------------
payload_dir() { echo "$out/payload-$1-$size-$files-$seed"; }
make_payload() {
    local name=$1 dir; dir=$(payload_dir "$1")
    [ -f "$dir.done" ] && return 0
    log "payload $name"
    rm -rf "$dir"
    case $name in
    many) python3 "$src/bench/make-tree.py" "$dir" "$size" "$files" --seed "$seed" --lognormal ;;
    large) python3 "$src/bench/make-tree.py" "$dir" "$size" 20 --seed "$seed" --lognormal ;;
    empty) mkdir -p "$dir" ;;
    *) echo "vs-nsis.sh: unknown payload $name" >&2; exit 2 ;;
    esac
    if [ "$name" != empty ]; then
        cp "$out/bin/BenchProg.exe" "$dir/Program/BenchProg.exe"
        mkdir -p "$dir/Documents"
        printf 'Bench Prog documents.\r\n' > "$dir/Documents/Readme.txt"
    fi
    touch "$dir.done"
}
for c in "${cases[@]}"; do make_payload "$c"; done

# The setup INI: the example's texts, for Bench Prog, without a file type.
ini=$out/bench.ini
python3 - "$src/examples/setup.ini" "$ini" <<'EOF'
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
EOF
version=$(sed -n 's/^ProgVersion=\(.*\)\r$/\1/p' "$ini")
completed=$(sed -n '/^\[EN\]/,/^\[/s/^InstallCompleted=\(.*\)\r$/\1/p' "$ini")
completed=$(printf "$completed" "Bench Prog" "$version")

# --- our installers -----------------------------------------------------------
# build_ours NAME SOURCE: one build folder per source, reconfigured per payload
# (only the resources and the link are redone).
build_ours() {
    local name=$1 source=$2 build=$out/build-$1 c
    for c in "${cases[@]}"; do
        log "setup.exe ($name, $c)"
        cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/i686-w64-mingw32.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DSETUP_PAYLOAD_DIR="$(payload_dir "$c")" -DSETUP_INI="$ini" >/dev/null
        cmake --build "$build" --target setup -j2 >/dev/null
        cp "$build/setup.exe" "$out/installers/$name-$c.exe"
    done
}
installers=(ours)
build_ours ours "$src"
if [ "$baseline" != none ]; then
    base_src=$out/baseline-src
    rm -rf "$base_src"
    mkdir -p "$base_src"
    git -C "$src" archive "$baseline" | tar -x -C "$base_src"
    build_ours baseline "$base_src"
    installers+=(baseline)
fi

# --- NSIS installers ------------------------------------------------------------
installers+=(nsis)
for c in "${cases[@]}"; do
    log "NSIS installer ($c)"
    dir=$(payload_dir "$c")
    files_block=""
    if [ -d "$dir/Program" ]; then
        files_block="  SetOutPath \"\$INSTDIR\"
  File /r \"$dir/Program/*\"
  SetOutPath \"\$DOCUMENTS\\BenchProg\"
  File /r \"$dir/Documents/*\""
    fi
    cat > "$out/bench-$c.nsi.new" <<EOF
Name "Bench Prog"
OutFile "$out/installers/nsis-$c.exe"
InstallDir "\$PROGRAMFILES\\BenchProg"
RequestExecutionLevel admin
SetCompressor zlib
SilentInstall silent
Section
$files_block
  WriteRegStr HKLM "SOFTWARE\\QRB\\Bench Prog\\$version" "" ""
  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\BenchProg.exe" "" "\$INSTDIR\\BenchProg.exe"
  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\BenchProg.exe" "Path" "\$INSTDIR"
  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchProg" "DisplayName" "Bench Prog"
  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchProg" "DisplayVersion" "$version"
  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchProg" "InstallLocation" "\$INSTDIR"
  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchProg" "UninstallString" '"\$INSTDIR\\BenchProg.exe" -u'
  WriteRegDWORD HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchProg" "VersionMajor" ${version%%.*}
  WriteRegDWORD HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchProg" "VersionMinor" ${version#*.}
  CreateShortCut "\$SMPROGRAMS\\Bench Prog.lnk" "\$INSTDIR\\BenchProg.exe"
  CreateShortCut "\$DESKTOP\\Bench Prog.lnk" "\$INSTDIR\\BenchProg.exe"
  MessageBox MB_OK "$completed"
  Exec '"\$INSTDIR\\BenchProg.exe"'
SectionEnd
EOF
    # makensis compresses the whole payload again: only when the script changed.
    if [ -f "$out/installers/nsis-$c.exe" ] && cmp -s "$out/bench-$c.nsi.new" "$out/bench-$c.nsi"; then
        rm "$out/bench-$c.nsi.new"
        continue
    fi
    mv "$out/bench-$c.nsi.new" "$out/bench-$c.nsi"
    makensis -V1 "$out/bench-$c.nsi" >/dev/null
done

# --- the warmed prefix ------------------------------------------------------------
log "warming a Wine prefix on tmpfs"
base=$work/base
mkdir -p "$base/home" "$base/prefix" "$base/bin"
cp "$out/bin/install-timer.exe" "$base/bin/"
chown -R $(wine_user_ids | tr ' ' ':') "$base"
# Every step is bounded: a Wine that hangs at its first start ends the run.
# within SECONDS COMMAND...: wine_as_user COMMAND..., killed after SECONDS.
within() {
    local seconds=$1; shift
    timeout --kill-after=10 "$seconds" bash -c '. "$0"; wine_as_user "$@"' "$src/tests/wine/wine-env.sh" "$@"
}
if ! within 600 "$base" wineboot -i >/dev/null 2>&1; then
    echo "wineboot did not finish within 10 minutes" >&2
    exit 1
fi
within 120 "$base" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wine_as_user "$base" wine "$base/bin/install-timer.exe" --timeout 120 cmd.exe /c exit >/dev/null 2>&1 || true
wine_as_user "$base" wineserver -k || true
within 120 "$base" wineserver -w || true

# run_one INSTALLER_NAME PAYLOAD ROUND: one timed run in a fresh prefix copy.
results=$out/results.txt
: > "$results"
run_one() {
    local name=$1 c=$2 round=$3 root=$work/run-$1
    rm -rf "$root"
    cp -a "$base" "$root"
    cp "$out/installers/$name-$c.exe" "$root/bin/setup.exe"
    chown $(wine_user_ids | tr ' ' ':') "$root/bin/setup.exe"
    local args=()
    [ "$name" != nsis ] && args=(-s)
    wine_as_user "$root" wineserver -p30 </dev/null >/dev/null 2>&1
    wine_as_user "$root" wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    local report
    local program="Z:${root//\//\\}\\bin\\setup.exe"
    report=$(wine_as_user "$root" wine "$root/bin/install-timer.exe" --timeout 900 "$program" "${args[@]}" 2>&1 |
        tr -d '\r') || { echo "$report" >&2; echo "vs-nsis.sh: $name ($c) did not run to its end" >&2; exit 1; }
    local box exit_ms code
    box=$(awk '$1 == "box_ms" { print $2 }' <<< "$report")
    exit_ms=$(awk '$1 == "exit_ms" { print $2 }' <<< "$report")
    code=$(awk '$1 == "exit_code" { print $2 }' <<< "$report")
    wine_as_user "$root" wineserver -k 2>/dev/null || true
    wine_as_user "$root" wineserver -w 2>/dev/null || true
    # The installed program folder must hold the payload's bytes.
    local installed="$root/prefix/drive_c/Program Files/BenchProg" same=yes
    if [ -d "$(payload_dir "$c")/Program" ]; then
        diff -r -q "$(payload_dir "$c")/Program" "$installed" >/dev/null 2>&1 || same=no
    fi
    echo "$c $name $round ${box:--1} ${exit_ms:--1} ${code:--1} $same" >> "$results"
    printf '  %-5s %-8s round %d: box %6s ms, exit %6s ms, exit code %s, installed bytes %s\n' \
        "$c" "$name" "$round" "$box" "$exit_ms" "$code" "$([ $same = yes ] && echo identical || echo DIFFERENT)" >&2
    rm -rf "$root"
}

for ((round = 1; round <= rounds; round++)); do
    for c in "${cases[@]}"; do
        n=${#installers[@]}
        for ((k = 0; k < n; k++)); do
            run_one "${installers[(k + round) % n]}" "$c" "$round"
        done
    done
done

# --- the table ---------------------------------------------------------------------
echo
echo "setup.exe against NSIS $(makensis -VERSION) under Wine: $rounds rounds, payload seed $seed"
for c in "${cases[@]}"; do
    dir=$(payload_dir "$c")
    count=$(find "$dir" -type f | wc -l)
    bytes=$(du -sb "$dir" | cut -f1)
    echo
    echo "payload $c: $count files, $bytes bytes"
    awk -v c="$c" -v list="${installers[*]}" -v out="$out/installers" '
        function median(a, n,   i, j, t) {
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        $1 == c { k = $2; n[k]++; box[k, n[k]] = $4; ex[k, n[k]] = $5; if ($7 != "yes") bad[k] = 1 }
        END {
            split(list, names, " ")
            for (f = 1; f <= 2; f++) {
                label = f == 1 ? "start -> completion box" : "start -> exit"
                printf "  %-24s", label
                for (i = 1; i in names; i++) {
                    k = names[i]; m = n[k]
                    for (r = 1; r <= m; r++) v[r] = (f == 1 ? box[k, r] : ex[k, r]) / 1000
                    lo = v[1]; hi = v[1]
                    for (r = 1; r <= m; r++) { if (v[r] < lo) lo = v[r]; if (v[r] > hi) hi = v[r] }
                    med[k] = median(v, m)
                    printf "  %s %.2f/%.2f/%.2f s", k, lo, med[k], hi
                }
                for (i = 1; i in names; i++) {
                    k = names[i]
                    if (k != "nsis" && med["nsis"] > 0) printf "  %s/nsis %.2fx", k, med[k] / med["nsis"]
                }
                printf "\n"
            }
            for (i = 1; i in names; i++) if (bad[names[i]]) printf "  %s: INSTALLED BYTES DIFFER from the payload\n", names[i]
        }' "$results"
    printf '  %-24s' "installer size"
    for k in "${installers[@]}"; do printf '  %s %d B' "$k" "$(stat -c %s "$out/installers/$k-$c.exe")"; done
    echo
done
echo
echo "(min/median/max over the rounds; ratios are of medians; raw figures in $results)"
