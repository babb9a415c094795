#!/usr/bin/env bash
# Build time of an installer for a payload of about 200 MB over about 2,000
# files (bench/make-tree.py: text-like, binary-like and incompressible
# thirds), side by side:
#   (a) setup-pack build: the prebuilt stub, the payload compressed on all
#       cores (zlib, level 9, one stream per file);
#   (b) makensis with zlib, not solid (one stream per file, as ours), the same
#       files under the same Program folder.
# Prints each tool's time (hyperfine: a warm-up run, then RUNS runs), the
# output sizes and the ratio (a)/(b); the target is 0.6 or less on a 2-core
# machine. It checks nothing; it is not a test.
#   bench/build-time.sh [TOTAL_MB] [FILES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$src/build/bench/build-time
total=${1:-200}
files=${2:-2000}
runs=${3:-3}
mkdir -p "$out"
for tool in makensis hyperfine; do
    command -v "$tool" >/dev/null || { echo "bench/build-time.sh needs $tool (apt-get install nsis hyperfine)" >&2; exit 1; }
done

echo "== building setup-pack and the stub"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setup-stub host_tools >/dev/null
setup_pack=$src/build/win32/host/setup-pack
stub=$src/build/win32/setup-stub.exe

# The payload: the generated tree, plus the example program under the name
# the setup INI gives it (the packer checks that ProgFile is there).
payload=$out/payload-$total-$files
if [ ! -d "$payload" ]; then
    echo "== writing the tree ($total MB, $files files)"
    python3 "$src/bench/make-tree.py" "$payload.tmp" "$total" "$files"
    cmake --build --preset win32 --target SampleNotes >/dev/null
    cp "$src/build/win32/bin/SampleNotes.exe" "$payload.tmp/Program/"
    mv "$payload.tmp" "$payload"
fi
echo "payload: $(du -sb "$payload/Program" | cut -f1) bytes in $(find "$payload" -type f | wc -l) files"
cp "$src/examples/setup.ini" "$out/setup.ini"

# The same files for makensis: everything under Program goes to the install
# folder, entry by entry, zlib, not solid.
cat >"$out/bench.nsi" <<NSI
Unicode true
SetCompressor zlib
Name "Sample Notes"
OutFile "$out/nsis-setup.exe"
InstallDir "\$PROGRAMFILES\\SampleNotes"
RequestExecutionLevel user
Section
    SetOutPath "\$INSTDIR"
    File /r "$payload/Program/*"
SectionEnd
NSI

ours="'$setup_pack' build --ini '$out/setup.ini' --payload '$payload' --stub '$stub' --output '$out/setup.exe'"
theirs="makensis -V1 '$out/bench.nsi'"
echo "== timing ($runs runs each, after a warm-up run; $(nproc) cores)"
hyperfine --warmup 1 --runs "$runs" --export-json "$out/times.json" \
    -n "setup-pack build" "$ours" \
    -n "makensis (zlib, not solid)" "$theirs"

python3 - "$out/times.json" "$out/setup.exe" "$out/nsis-setup.exe" <<'PY'
import json, os, sys
results = json.load(open(sys.argv[1]))["results"]
ours, theirs = results
def line(name, r, path):
    print("%-17s %6.2f s wall, %6.2f s CPU (user + system), %d bytes"
          % (name, r["mean"], r["user"] + r["system"], os.path.getsize(path)))
line("setup-pack build:", ours, sys.argv[2])
line("makensis:", theirs, sys.argv[3])
print("ratio: %.2f wall (target: 0.6 or less), %.2f CPU"
      % (ours["mean"] / theirs["mean"], (ours["user"] + ours["system"]) / (theirs["user"] + theirs["system"])))
print("load average when done: %s (the wall times count only on an otherwise idle machine)"
      % open("/proc/loadavg").read().split()[0])
PY
