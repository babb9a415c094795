#!/usr/bin/env bash
# Plants faults one at a time in a scratch copy of the tree, runs the tests
# that should notice each, and prints which were caught and which survived.
# Run by hand (it takes a while), not part of the test suite.
#   scripts/mutants.sh [--keep] [ID...]    default: every fault of the list
# The scratch copy and its builds live in ${SETUP_MUTANTS_DIR:-/tmp/setup-mutants};
# with --keep they stay for the next run, which is then much quicker.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=${SETUP_MUTANTS_DIR:-/tmp/setup-mutants}
keep=0
if [ "${1:-}" = --keep ]; then keep=1; shift; fi

# One fault per line, fields separated by " @@ ": ID, FILE, TEXT, REPLACEMENT,
# PRESET, TESTS.
#   TEXT must occur exactly once in FILE; REPLACEMENT takes its place (\n is
#   a line break in both). PRESET is native, fuzz or win32; TESTS is a ctest regex.
faults() {
cat <<'LIST'
launch-unquoted @@ src/driver/RunSetup.cpp @@ "\"%s\"", installState.programPath @@ "%s", installState.programPath @@ win32 @@ e2e_limits
device-aux @@ src/common/SafeNames.cpp @@ "CON", "PRN", "AUX", "NUL" @@ "CON", "PRN", "NUL" @@ win32 @@ unit_extractor
temp-ini-kept @@ src/config/SetupConfig.cpp @@ ~TemporaryFile() { if (path[0]) deleteFile(path); } @@ ~TemporaryFile() {} @@ win32 @@ e2e_limits
install-location-boundary @@ src/driver/RunSetup.cpp @@ if (length + 1 + dirLength >= kPathSize) @@ if (length + 1 + dirLength > kPathSize) @@ win32 @@ unit_driver
dll-search-open @@ src/driver/Main.cpp @@     restrictDllSearch();\n @@ \n @@ win32 @@ e2e_limits
junction-followed @@ src/deploy/FileOps.cpp @@ if (directory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return RemoveDirectoryA(child); @@ // followed @@ win32 @@ unit_file_ops
separator-doubled @@ src/common/Paths.cpp @@ bool needsSeparator(const char* folder) { return *folder && !endsWithSeparator(folder); } @@ bool needsSeparator(const char* folder) { return *folder != 0; } @@ win32 @@ unit_extractor|unit_file_ops
removal-stops @@ src/deploy/FileOps.cpp @@ if (!removeFoundEntry(path, entry)) result = 0; @@ if (!removeFoundEntry(path, entry)) return 0; @@ win32 @@ unit_file_ops
names-checked-late @@ src/archive/Extractor.cpp @@     if (!checkEntryPaths(owner, archive, size, wideNames, destination)) return 0;\n @@  @@ win32 @@ unit_extractor
folder-limit @@ src/common/Paths.h @@ constexpr size_t kFolderLimit = kPathLimit - 2; @@ constexpr size_t kFolderLimit = kPathLimit; @@ win32 @@ unit_extractor
checksum-ignored @@ src/archive/ArchiveFormat.cpp @@ if (crc.value() != readLe32(data + kChecksumOffset)) return ArchiveCheck::BadChecksum; @@  @@ native @@ ^native\.unit$
data-text-past-count @@ src/common/Format.cpp @@ const char* text = next < count && args[next] ? args[next] : ""; @@ const char* text = args[next] ? args[next] : ""; @@ native @@ ^native\.unit$
minor-version-equal @@ src/driver/VersionText.cpp @@ old.minor > now.minor @@ old.minor >= now.minor @@ win32 @@ unit_driver
expanded-size-unchecked @@ src/archive/Extractor.cpp @@ success = written == expectedSize; @@ success = 1; @@ win32 @@ unit_extractor
journal-takes-existing @@ src/deploy/TreeCopy.cpp @@ if (journal && !existed && (copied || pathExists(destination))) @@ if (journal && (copied || pathExists(destination))) @@ win32 @@ unit_deploy
documents-overwritten @@ src/deploy/InstallStep.cpp @@ copyTreeIfPresent(owner, paths.documentsSource, paths.documentsDestination, 0, 1, @@ copyTreeIfPresent(owner, paths.documentsSource, paths.documentsDestination, 1, 1, @@ win32 @@ unit_deploy
read-only-kept @@ src/deploy/TreeCopy.cpp @@ if (options.clearReadOnly && (!copied || (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY))) { @@ if (options.clearReadOnly && !copied) { @@ win32 @@ unit_deploy
uninstall-unquoted @@ src/registration/Registration.cpp @@ "\"%s\" -u", installState.programPath @@ "%s -u", installState.programPath @@ win32 @@ unit_registration
shortcut-no-folder @@ src/registration/Shortcuts.cpp @@     link->SetWorkingDirectory(workingDir);\n @@  @@ win32 @@ unit_registration
line-breaks @@ src/config/SetupConfig.cpp @@ if (p[0] == '\\' && p[1] == 'n') { @@ if (p[0] == '\\' && p[1] == 'N') { @@ win32 @@ unit_driver
stream-colon @@ src/common/SafeNames.cpp @@         if (*p == L':') return false;\n @@  @@ win32 @@ unit_extractor
not-dir-accepted @@ src/ui/DirectoryDialog.cpp @@ return baseDir[0] != '\0' && isDirectory(baseDir) && @@ return baseDir[0] != '\0' && @@ win32 @@ unit_dialogs
packed-size-unbounded @@ src/archive/ArchiveFormat.cpp @@ if (packedSize > remaining) return result_; @@  @@ native @@ ^native\.unit$
version-sign-dropped @@ src/driver/VersionText.cpp @@ return static_cast<int>(negative ? -value : value); @@ return static_cast<int>(value); @@ fuzz @@ fuzz.version
shell-value-cut-used @@ src/deploy/ShellValue.cpp @@ length < kShellValueCapacity - 1 @@ length < kShellValueCapacity @@ fuzz @@ fuzz.shell_value
percent-doubled @@ src/common/Format.cpp @@             out.put('%');\n            ++p; @@             out.put('%'); @@ fuzz @@ fuzz.format
profile-case-kept @@ src/config/ProfileText.cpp @@ unsigned foldCase(unsigned c) { return c >= 'A' && c <= 'Z' ? c + 0x20 : c; } @@ unsigned foldCase(unsigned c) { return c; } @@ native @@ ^native\.unit$
profile-later-section @@ src/config/ProfileText.cpp @@ if (sectionSeen) break;  // only the first section of the name is searched @@ // every section of the name searched @@ native @@ ^native\.unit$
check-version-letters @@ tools/packer/SetupCheck.cpp @@     if (!majorDigits) { @@     if (false) { @@ native @@ ^native\.unit$
pe-checksum-stale @@ tools/packer/PeImage.cpp @@ put32(opt + 64, checksum.finish()); @@ checksum.finish(); @@ native @@ ^native\.unit$
image-limit-ignored @@ tools/packer/InstallerBuild.cpp @@ if (output.sizeOfImage > kImageLimit) { @@ if (false) { @@ native @@ ^native\.unit$
epoch-not-clamped @@ tools/packer/PackTree.cpp @@ if (clampTimes_ && entry.lastWriteTime > epoch_) entry.lastWriteTime = epoch_; @@ // not clamped @@ native @@ ^native\.unit$
uninstall-app-path-other @@ src/uninstall/Remover.cpp @@ !readValue(HKEY_LOCAL_MACHINE, path, nullptr, value) || !namesThisInstall(value)) { @@ !readValue(HKEY_LOCAL_MACHINE, path, nullptr, value)) { @@ win32 @@ unit_uninstall|e2e_uninstall
uninstall-vendor-shared @@ src/uninstall/Remover.cpp @@ (install.entryExists && !install.entryOurs) || anotherInstallNamed()) { @@ (install.entryExists && !install.entryOurs)) { @@ win32 @@ unit_uninstall|e2e_uninstall
uninstall-names-escape @@ src/uninstall/Remover.cpp @@         if (!isSafeManifestName(name, length)) continue;\n @@  @@ win32 @@ unit_uninstall|e2e_uninstall
uninstall-device-blank @@ src/uninstall/ManifestFiles.cpp @@ while (base < length && component[base] != '.' && component[base] != ' ') ++base; @@ while (base < length && component[base] != '.') ++base; @@ native @@ ^native\.unit$
pe-empty-rsrc-in-headers @@ tools/packer/PeImage.cpp @@     if (rsrc.rawPointer < headersEnd) { @@     if (false) { @@ native @@ ^native\.unit$
pe-shared-leaf-copies @@ tools/packer/PeImage.cpp @@         if (size > copyBudget_) { @@         if (false) { @@ native @@ ^native\.unit$
icon-shared-image-copies @@ tools/packer/InstallerResources.cpp @@         if (copied > ico.size()) { @@         if (false) { @@ native @@ ^native\.unit$
manifest-bracket-name @@ tools/packer/UninstallManifest.cpp @@         if (!entry.empty() && entry[0] == '[') { @@         if (false) { @@ native @@ ^native\.unit$
check-bracket-name @@ tools/packer/SetupCheck.cpp @@         if (inProgram && name[0] == '[') { @@         if (false) { @@ native @@ ^native\.unit$
epoch-past-9999 @@ tools/packer/PackTree.cpp @@     if (value > kLatestEpoch) { @@     if (false) { @@ native @@ ^native\.unit$
check-prog-slots-args @@ tools/packer/SetupCheck.cpp @@ slot <= kProgVersion ? 0 : 3 @@ 3 @@ native @@ ^native\.unit$
check-strict-utf8 @@ tools/packer/SetupCheck.cpp @@     return encodeEntryName(text, true, encoded, nullptr); @@     return encoded.empty(); @@ native @@ ^native\.unit$
manifest-profile-lines @@ tools/packer/UninstallManifest.cpp @@     ProfileCursor cursor(ini.data(), ini.size()); @@     std::string joined = ini;\n    for (size_t i = 0; i < joined.size(); ++i) if (joined[i] == 13 && (i + 1 == joined.size() || joined[i + 1] != 10)) joined[i] = ' ';\n    ProfileCursor cursor(joined.data(), joined.size()); @@ native @@ ^native\.unit$
tests-scratch-left @@ tests/native/ToolRun.h @@         fs::remove_all(path_, ec); @@         (void)ec; @@ native @@ ^native\.unit$
preview-doubled @@ src/ui/DirectoryDialog.cpp @@ bool whole = baseDir[0] ? joinPath(preview, sizeof preview, baseDir, progDir) @@ bool whole = baseDir[0] ? formatText(preview, sizeof preview, "%s\\%s", baseDir, progDir) @@ win32 @@ unit_dialogs
base-past-folder-limit @@ src/ui/DirectoryDialog.cpp @@ joinedLength(baseDir, setupString(Slot::ProgDir)) <= kFolderLimit; @@ joinedLength(baseDir, setupString(Slot::ProgDir)) <= kPathLimit; @@ win32 @@ unit_dialogs
long-name-caption-empty @@ src/archive/Extractor.cpp @@ copyLeadingPart(name, size, reinterpret_cast<const char*>(entry.name)); @@ name[0] = '\0'; @@ win32 @@ unit_extractor
menu-folder-any-name @@ src/uninstall/Remover.cpp @@ if (isPlainFolderName(install.progName) && getProgramsFolder(folder) && @@ if (getProgramsFolder(folder) && @@ win32 @@ unit_uninstall
helper-not-held @@ src/uninstall/Launcher.cpp @@ OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr)); @@ OPEN_EXISTING, 0, nullptr)); @@ win32 @@ e2e_uninstall
uninstall-program-path-cut @@ src/uninstall/Remover.cpp @@     if (length >= kPathSize) return false;\n    if (length == 0) {\n        if (lstrlenW(install.request->programPath) >= static_cast<int>(kPathSize)) return false; @@     if (length == 0 || length >= kPathSize) { @@ win32 @@ unit_uninstall
file-time-wraps @@ tools/packer/ArchiveWriter.cpp @@     if (seconds >= kLatestSeconds) return static_cast<FileTime64>(INT64_MAX);\n @@ \n @@ native @@ ^native\.unit$
uninstall-console-devices @@ src/uninstall/ManifestFiles.cpp @@ {"con", "prn", "aux", "nul", "conin$", "conout$"}; @@ {"con", "prn", "aux", "nul"}; @@ native @@ ^native\.unit$
uninstall-superscript-ports @@ src/uninstall/ManifestFiles.cpp @@     return base == 5 && digit[0] == 0xC2 && (digit[1] == 0xB9 || digit[1] == 0xB2 || digit[1] == 0xB3); @@     return false; @@ native @@ ^native\.unit$
LIST
}

# Replaces the one occurrence of TEXT in FILE; false when it is not there
# exactly once.
plant() {
    python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
text = open(path).read()
if text.count(old) != 1:
    sys.exit(1)
open(path, 'w').write(text.replace(old, new))
PY
}

echo "== scratch copy in $scratch"
mkdir -p "$scratch"
# The tracked files as they are in the work tree (changes not yet committed
# included); builds made there before stay, so a --keep run is incremental.
mkdir -p "$scratch/src-tree"
(cd "$here" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$scratch/src-tree"
cd "$scratch/src-tree"

state=$scratch/wine-root.txt
prepared_win32=0
# Faults marked win32 are tested on the 32-bit build, or on the 64-bit build
# of the same sources where the machine cannot execute 32-bit programs.
. tests/wine/wine-env.sh
win=win32
if ! machine_runs_i386; then win=win64; fi
prepare_win32() {
    [ $prepared_win32 = 1 ] && return
    cmake --preset $win >/dev/null
    cmake --build --preset $win >/dev/null
    # One Wine environment for every fault: the fixture's setup runs once.
    tests/wine/prefix.sh setup "$state" build/$win/bin $win >/dev/null
    cp "$state" build/$win/wine-root.txt
    prepared_win32=1
}
prepared_fuzz=0
prepare_fuzz() {
    [ $prepared_fuzz = 1 ] && return
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz >/dev/null
    prepared_fuzz=1
}
prepared_native=0
prepare_native() {
    [ $prepared_native = 1 ] && return
    cmake --preset native >/dev/null
    cmake --build --preset native >/dev/null
    prepared_native=1
}
cleanup() {
    [ $prepared_win32 = 1 ] && tests/wine/prefix.sh cleanup "$state" || true
    [ $keep = 1 ] || rm -rf "$scratch"
}
trap cleanup EXIT

# Builds the tree with one fault planted; false when it does not build, which
# says nothing of the tests: such a fault counts as not caught.
build_planted() {
    local preset=$1
    [ "$preset" = win32 ] && preset=$win
    cmake --build --preset "$preset" >/dev/null 2>&1
}

# Runs the tests of one fault; 0 when they all pass (the fault survived).
run_tests() {
    local preset=$1 regex=$2
    if [ "$preset" = native ] || [ "$preset" = fuzz ]; then
        ctest --preset "$preset" -R "$regex" >/dev/null 2>&1
        return
    fi
    # The environment's copy of the programs must be the ones just built.
    local root; root=$(cat "$state")
    cp -a build/$win/bin/. "$root/bin/"
    chown -R "$(wine_user_ids | tr ' ' ':')" "$root/bin"
    ctest --preset $win -R "$regex" -FS wine -FC wine >/dev/null 2>&1
}

declare -a rows
caught=0; survived=0
while IFS=$'\x1f' read -r id file text replacement preset tests; do
    [ -n "$id" ] || continue
    if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$id"; then continue; fi
    [ "$preset" = win32 ] && prepare_win32
    [ "$preset" = native ] && prepare_native
    [ "$preset" = fuzz ] && prepare_fuzz
    cp "$file" "$file.orig"
    if ! plant "$file" "$text" "$replacement"; then
        rows+=("$(printf '%-28s %-10s %s' "$id" "NOT PLANTED" "$file")")
        mv "$file.orig" "$file"
        survived=$((survived + 1))
        continue
    fi
    if ! build_planted "$preset"; then
        result="NOT BUILT"; survived=$((survived + 1))
    elif run_tests "$preset" "$tests"; then
        result=SURVIVED; survived=$((survived + 1))
    else
        result=caught; caught=$((caught + 1))
    fi
    mv "$file.orig" "$file"
    touch "$file"
    rows+=("$(printf '%-28s %-10s %s (%s)' "$id" "$result" "$file" "$tests")")
    echo "${rows[-1]}"
done < <(faults | sed 's/ @@ /\x1f/g')
# Leave the builds as the tree is.
[ $prepared_native = 1 ] && cmake --build --preset native >/dev/null 2>&1 || true
[ $prepared_fuzz = 1 ] && cmake --build --preset fuzz >/dev/null 2>&1 || true

echo
echo "== $caught caught, $survived survived, not planted or not built"
printf '%s\n' "${rows[@]}"
[ $survived = 0 ]
