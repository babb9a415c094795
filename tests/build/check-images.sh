#!/usr/bin/env bash
# Every image the build ships, and installers built with an icon, a company
# name and a payload of about 100 MiB, held against the loader's rules twice:
# by setup-pack verify (the project's own check) and by an independent
# reading of the headers (python3-pefile): sections contiguous from the end
# of the headers, SizeOfImage where they end, no time stamp, terminal-server
# aware, read-only resources in what setup-pack writes, and a manifest that
# asks for the expected execution level.
#   check-images.sh SETUP_PACK BUILD_DIR EXAMPLES_DIR [WORK_DIR]
set -euo pipefail
pack=${1:?setup-pack}; build=${2:?build tree}; examples=${3:?examples folder}
work=${4:-$(mktemp -d)}
rm -rf "$work"
mkdir -p "$work"
status=0
fail() { echo "FAIL: $*"; status=1; }

python=""
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import pefile' 2>/dev/null; then python=$candidate; break; fi
done
[[ -n $python ]] || { echo "FAIL: python3-pefile is not installed (scripts/install-deps.sh)"; exit 1; }

# The independent reading: prints nothing when the image is sound, else one
# line per fault.
#   read_image FILE LEVEL WRITTEN(0|1) CHECKSUM(0|1) [UNWIND(0|1)]
# WRITTEN: made by setup-pack; CHECKSUM: compare the checksum (slow in
# Python); UNWIND: the program keeps its unwind tables (the installer
# programs drop them, see cmake/DiscardUnwindTables.ld).
read_image() {
    "$python" - "$@" <<'EOF'
import re, sys
import pefile
path, level, written, checksum = sys.argv[1], sys.argv[2], sys.argv[3] == "1", sys.argv[4] == "1"
unwind = len(sys.argv) > 5 and sys.argv[5] == "1"
pe = pefile.PE(path, fast_load=True)
oh, fh = pe.OPTIONAL_HEADER, pe.FILE_HEADER
align = lambda v, a: (v + a - 1) // a * a
faults = []
expected = align(oh.SizeOfHeaders, oh.SectionAlignment)
for s in pe.sections:
    name = s.Name.rstrip(b"\0").decode(errors="replace")
    if s.VirtualAddress != expected:
        faults.append("section %s at %#x, expected %#x (the previous one ends there)" % (name, s.VirtualAddress, expected))
    expected = align(s.VirtualAddress + (s.Misc_VirtualSize or s.SizeOfRawData), oh.SectionAlignment)
    if name.startswith(".eh_fram") and not unwind:
        faults.append("unwind tables kept (%d bytes nothing reads)" % s.SizeOfRawData)
    if written and name == ".rsrc" and s.Characteristics != 0x40000040:
        faults.append(".rsrc has characteristics %#x, not read-only data 0x40000040" % s.Characteristics)
if oh.SizeOfImage != expected:
    faults.append("SizeOfImage %#x, but the sections end at %#x" % (oh.SizeOfImage, expected))
if fh.TimeDateStamp != 0:
    faults.append("time stamp %#x, not 0" % fh.TimeDateStamp)
if not oh.DllCharacteristics & 0x8000:
    faults.append("not terminal-server aware (DllCharacteristics %#x)" % oh.DllCharacteristics)
if checksum and oh.CheckSum not in (0, pe.generate_checksum()):
    faults.append("CheckSum %#x, computed %#x" % (oh.CheckSum, pe.generate_checksum()))
pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
manifest = None
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
    if t.id == 24:
        for n in t.directory.entries:
            if n.id == 1:
                d = n.directory.entries[0].data.struct
                manifest = pe.get_data(d.OffsetToData, d.Size).decode("utf-8", "replace")
if manifest is None:
    faults.append("no manifest (resource 24, 1)")
else:
    found = re.search(r'<(?:\w+:)?requestedExecutionLevel\s[^>]*\blevel\s*=\s*"([^"]*)"', manifest)
    if not found or found.group(1) != level:
        faults.append("manifest asks for %s, not %s" % (found.group(1) if found else "no level", level))
for f in faults:
    print(f)
EOF
}

# check FILE LEVEL WRITTEN CHECKSUM: both readings.
check() {
    local file=$1 level=$2 out
    if ! out=$("$pack" verify "$file" 2>&1); then
        fail "setup-pack verify refuses $file: $out"
    elif ! grep -q "follows the loader's rules; requestedExecutionLevel $level\$" <<<"$out"; then
        fail "setup-pack verify does not report level $level for $file: $out"
    fi
    out=$(read_image "$@") || fail "$file cannot be read by pefile: $out"
    if [[ -n $out ]]; then
        while read -r line; do fail "$file: $line"; done <<<"$out"
    else
        echo "ok: $(basename "$file") ($(stat -c %s "$file") bytes, $level)"
    fi
}

check "$build/setup-stub.exe" requireAdministrator 0 1
check "$build/setup.exe" requireAdministrator 1 1
check "$build/uninstall/setup-uninstall.exe" requireAdministrator 0 1
check "$build/generated/setup-uninstall-remover.exe" requireAdministrator 0 1
check "$build/bin/SampleNotes.exe" asInvoker 0 1 1  # its C++ runtime unwinds through them
check "$build/uninstall/setup-launcher.exe" asInvoker 0 1
# An installer made with setup-pack build --launcher.
[ -f "$build/bin/launcher-setup.exe" ] && check "$build/bin/launcher-setup.exe" requireAdministrator 1 1

# An installer with an icon, a company name and a payload of 100 MiB that
# does not compress (random bytes: packed as fast as zlib stores).
mkdir -p "$work/payload/Program" "$work/payload/Documents"
cp "$build/bin/SampleNotes.exe" "$work/payload/Program/"
head -c $((100 << 20)) /dev/urandom > "$work/payload/Program/data.bin"
echo "notes" > "$work/payload/Documents/Readme.txt"
if out=$("$pack" build --ini "$examples/setup.ini" --payload "$work/payload" --stub "$build/setup-stub.exe" \
        --icon "$examples/program/SampleNotes.ico" --company "Example Software Ltd" --output "$work/setup.exe" 2>&1); then
    # pefile's checksum is computed in Python: too slow for 100 MiB here;
    # setup-pack verify has checked it.
    check "$work/setup.exe" requireAdministrator 1 0
else
    fail "setup-pack build with an icon, a company and a large payload: $out"
fi
rm -rf "$work"
exit $status
