#!/usr/bin/env bash
# setup.exe side by side with an NSIS installer of the same files, under Wine.
# Prints figures; it checks nothing but the installed bytes, and is not a test.
#
# Three payloads (bench/payloads.sh): many (SIZE MiB in FILES files, default
# 200 MiB and 2,000), large (SIZE MiB in 20 files) and empty (the fixed cost:
# Program\ holding BenchProg.exe alone, for ours and NSIS alike). For each
# payload the script builds
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
#   done  OK on the completion box -> exit (exit - box)
# Printed per payload and installer: min / median / max over the rounds, the
# ratio of medians against NSIS, the installers' sizes, and the targets of
# this work beside the figures (never asserted: the machine is shared). The
# fixed cost is the empty payload's start -> exit.
#
# usage: bench/vs-nsis.sh [--size MIB] [--files N] [--seed N] [--rounds N]
#                         [--baseline REV|none] [--payloads many,large,empty]
#                         [--cpus LIST]
#   --cpus LIST  run every Wine process of a run (the server, the installer
#                and what it starts) on these processors only (taskset -c):
#                with one, each request to the Wine server is answered on
#                the processor that asked, with no wake-up of another one;
#                on a virtual machine that wake-up is most of a request's
#                cost, and most of the spread from run to run.
# The machine is shared: run it with nice, and compare only figures of one run.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
. "$src/tests/wine/wine-env.sh"
. "$src/bench/payloads.sh"

baseline=main payloads=many,large,empty
while [ $# -gt 0 ]; do
    case $1 in
    --baseline) baseline=$2; shift 2 ;;
    --payloads) payloads=$2; shift 2 ;;
    --help|-h) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) common_option "$1" "${2-}" && shift 2 ||
        { echo "vs-nsis.sh: unknown option $1 (see --help)" >&2; exit 2; } ;;
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
make_work vs-nsis
log() { echo "== $*" >&2; }

# --- the Windows helpers, the payloads and the INI ----------------------------
build_bench_helpers
for c in "${cases[@]}"; do make_payload "$c"; done
make_bench_ini

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
    files_block="  SetOutPath \"\$INSTDIR\"
  File /r \"$dir/Program/*\""
    if [ -d "$dir/Documents" ]; then
        files_block="$files_block
  SetOutPath \"\$DOCUMENTS\\BenchProg\"
  File /r \"$dir/Documents/*\""
    fi
    cat > "$out/bench-$c.nsi.new" <<EOF
; payload program $(sha256sum "$dir/Program/BenchProg.exe" | cut -c1-16) (a new one makes a new installer)
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
warm_prefix "$base"

# run_one INSTALLER_NAME PAYLOAD ROUND: one timed run in a fresh prefix copy.
results=$out/results.txt
: > "$results"
set_pin
run_one() {
    local name=$1 c=$2 round=$3 root=$work/run-$1
    rm -rf "$root"
    cp -a "$base" "$root"
    cp "$out/installers/$name-$c.exe" "$root/bin/setup.exe"
    chown $(wine_user_ids | tr ' ' ':') "$root/bin/setup.exe"
    local args=()
    [ "$name" != nsis ] && args=(-s)
    wine_as_user "$root" "${pin[@]}" wineserver -p30 </dev/null >/dev/null 2>&1
    wine_as_user "$root" "${pin[@]}" wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    local report
    local program="Z:${root//\//\\}\\bin\\setup.exe"
    report=$(wine_as_user "$root" "${pin[@]}" wine "$root/bin/install-timer.exe" --timeout 900 "$program" "${args[@]}" 2>&1 |
        tr -d '\r') || { echo "$report" >&2; echo "vs-nsis.sh: $name ($c) did not run to its end" >&2; exit 1; }
    local box exit_ms code
    box=$(awk '$1 == "box_ms" { print $2 }' <<< "$report")
    exit_ms=$(awk '$1 == "exit_ms" { print $2 }' <<< "$report")
    code=$(awk '$1 == "exit_code" { print $2 }' <<< "$report")
    wine_as_user "$root" wineserver -k 2>/dev/null || true
    wine_as_user "$root" wineserver -w 2>/dev/null || true
    # The installed program folder must hold the payload's bytes.
    local installed="$root/prefix/drive_c/Program Files/BenchProg" same=yes
    # setup-pack adds the uninstall manifests (setup-uninstall.ini and one
    # setup-uninstall.<hex>.ini per version) to ours.
    local differences
    differences=$(diff -r -q -x 'setup-uninstall*.ini' "$(payload_dir "$c")/Program" "$installed" 2>&1) || same=no
    [ $same = yes ] || head -3 <<< "$differences" >&2
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
echo "setup.exe against NSIS $(makensis -VERSION) under Wine: $rounds rounds, payload seed $seed${cpus:+, on processors $cpus only}"
for c in "${cases[@]}"; do
    dir=$(payload_dir "$c")
    count=$(find "$dir" -type f | wc -l)
    bytes=$(du -sb "$dir" | cut -f1)
    echo
    echo "payload $c: $count files, $bytes bytes"
    awk -v c="$c" -v list="${installers[*]}" '
        function median(a, n,   i, j, t) {
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        # target(FIGURE, LIMIT, RATIO): one line of the targets of this work.
        function target(label, limit, value, unit) {
            printf "  target %-30s %s %.2f%s (limit %.2f%s): %s\n", label, "ours", value, unit, limit, unit,
                value <= limit ? "met" : "MISSED"
        }
        $1 == c { k = $2; n[k]++; box[k, n[k]] = $4; ex[k, n[k]] = $5; if ($7 != "yes") bad[k] = 1 }
        END {
            split(list, names, " ")
            for (f = 1; f <= 3; f++) {
                label = f == 1 ? "start -> completion box" : f == 2 ? "start -> exit" : "OK on the box -> exit"
                printf "  %-24s", label
                for (i = 1; i in names; i++) {
                    k = names[i]; m = n[k]
                    for (r = 1; r <= m; r++) {
                        v[r] = (f == 1 ? box[k, r] : f == 2 ? ex[k, r] : ex[k, r] - box[k, r]) / 1000
                    }
                    lo = v[1]; hi = v[1]
                    for (r = 1; r <= m; r++) { if (v[r] < lo) lo = v[r]; if (v[r] > hi) hi = v[r] }
                    med[k, f] = median(v, m)
                    printf "  %s %.2f/%.2f/%.2f s", k, lo, med[k, f], hi
                }
                for (i = 1; i in names; i++) {
                    k = names[i]
                    if (k != "nsis" && f < 3 && med["nsis", f] > 0) printf "  %s/nsis %.2fx", k, med[k, f] / med["nsis", f]
                }
                printf "\n"
            }
            for (i = 1; i in names; i++) if (bad[names[i]]) printf "  %s: INSTALLED BYTES DIFFER from the payload\n", names[i]
            if (med["nsis", 2] <= 0 || !n["ours"]) exit
            if (c == "many") {
                target("start -> exit / NSIS", 1.25, med["ours", 2] / med["nsis", 2], "x")
                target("start -> completion box / NSIS", 1.15, med["ours", 1] / med["nsis", 1], "x")
                target("OK on the box -> exit", 0.2, med["ours", 3], " s")
            }
            if (c == "large") target("start -> exit / NSIS", 0.85, med["ours", 2] / med["nsis", 2], "x")
            if (c == "empty") target("fixed cost / NSIS", 1.0, med["ours", 2] / med["nsis", 2], "x")
        }' "$results"
    printf '  %-24s' "installer size"
    for k in "${installers[@]}"; do printf '  %s %d B' "$k" "$(stat -c %s "$out/installers/$k-$c.exe")"; done
    echo
    if [ "$c" = empty ]; then
        # The empty-payload installer: setup-pack no longer builds one (no
        # program to install), so its size is this installer's less its
        # archive, plus the 10 bytes of an empty archive.
        printf '  %-24s' "installer stub"
        for k in ours baseline; do
            [ -f "$out/build-$k/setup-stub.exe" ] && printf '  %s %d B' "$k" "$(stat -c %s "$out/build-$k/setup-stub.exe")"
        done
        echo
        archive=$("$out/build-ours/host/setup-pack" verify "$out/installers/ours-$c.exe" | sed -n 's/.*, \([0-9]*\) bytes$/\1/p')
        bytes=$(( $(stat -c %s "$out/installers/ours-$c.exe") - ${archive:-0} + 10 ))
        printf '  target %-30s ours %d B (limit 40960 B): %s\n' "installer, empty payload" "$bytes" \
            "$([ "$bytes" -le 40960 ] && echo met || echo MISSED)"
    fi
done
echo
echo "(min/median/max over the rounds; ratios are of medians; raw figures in $results)"
