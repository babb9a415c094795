#include "deploy/TreeCopy.h"

#include <shlwapi.h>
#include <string.h>

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/MessagePump.h"
#include "common/Paths.h"
#include "common/Scoped.h"
#include "common/Text.h"
#include "config/SetupConfig.h"
#include "deploy/CopyJournal.h"
#include "deploy/FileCopy.h"
#include "deploy/FileOps.h"
#include "deploy/ShellValue.h"
#include "ui/TaskbarProgress.h"

namespace {

// A Desktop.INI names a folder's icon and tooltip: section ".ShellClassInfo",
// keys IconFile, IconIndex and InfoTip.
const char kShellClassInfo[] = ".ShellClassInfo";

bool isDotDirectory(const WIN32_FIND_DATAA& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    const char* name = found.cFileName;
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool isDirectoryEntry(const WIN32_FIND_DATAA& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Calls `visit(entry, childSource, childDestination)` for every entry of the
// folder `source` but "." and "..", in the platform's order, until it
// returns false. 1 when every entry was visited (or `source` cannot be
// enumerated); 0 when a visit returned false or a path does not fit (the
// install step has checked every path before: only a tree changed since
// the extraction has one).
template <class Visit>
int forEachChild(const char* source, const char* destination, Visit visit) {
    char childSource[kPathSize];
    if (!folderPattern(childSource, source)) return 0;
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA(childSource, &found));
    if (!find.isValid()) return 1;
    do {
        if (isDotDirectory(found)) continue;
        char childDestination[kPathSize];
        if (!joinPath(childSource, sizeof childSource, source, found.cFileName) ||
            !joinPath(childDestination, sizeof childDestination, destination, found.cFileName)) {
            return 0;
        }
        if (!visit(found, childSource, childDestination)) return 0;
    } while (FindNextFileA(find.get(), &found));
    return 1;
}

bool pathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void record(CopyJournal* journal, const char* path) {
    if (journal) journal->add(path);
}

// The Retry/Cancel prompt: the failure text, a blank line and the path,
// captioned ProgName. true = Retry. The buffer holds any slot and any path.
__attribute__((noinline)) bool askRetry(HWND owner, Slot failure, const char* path) {
    char text[kTextSize + 2 + kPathSize];
    formatText(text, sizeof text, "%s\n\n%s", setupString(failure), path);
    return MessageBoxA(owner, text, setupString(Slot::ProgName), MB_RETRYCANCEL) == IDRETRY;
}

// Creates one destination directory, asking until it exists or the user
// cancels. A directory created here is recorded. false = cancelled.
bool createDirectory(HWND owner, const char* path, CopyJournal* journal, bool& created) {
    created = false;
    for (;;) {
        if (CreateDirectoryA(path, nullptr)) {
            created = true;
            record(journal, path);
            return true;
        }
        if (GetLastError() == ERROR_ALREADY_EXISTS) return true;
        if (!askRetry(owner, Slot::DirCreateFailed, path)) return false;
    }
}

// Copies one file, replacing the destination, asking until it is copied or
// the user cancels. false = cancelled.
bool copyFileAsking(HWND owner, const WIN32_FIND_DATAA& found, const char* source, const char* destination) {
    while (!copyInstalledFile(source, destination, found)) {
        if (!askRetry(owner, Slot::FileCopyFailed, destination)) return false;
    }
    return true;
}

// Reads a Desktop.INI value into `value`; false when it is missing, empty or
// too long to be read whole.
bool readShellValue(const char* iniFile, const char* key, char* value) {
    return isWholeShellValue(
        readIniString(kShellClassInfo, key, installState.empty, value, kShellValueCapacity, iniFile));
}

// Writes `key` as the Desktop.INI value `format` with its one argument; a
// result that does not fit 260 bytes is not written.
void writeShellValue(const char* iniFile, const char* key, const char* format, const char* argument) {
    char value[kShellResultSize];
    if (!formatShellValue(value, format, argument)) return;
    WritePrivateProfileStringA(kShellClassInfo, key, value, iniFile);
}

// Builds the destination folder's own Desktop.INI from three keys of the
// staged one, with the installation's texts put in, and makes the folder a
// system folder so that the shell reads it. Nothing here fails the copy.
__attribute__((noinline)) void customiseFolder(const char* stagedIni, const char* iniFile,
                                               const char* folder) {
    char value[kShellValueCapacity];
    // The icon is named by the install folder itself: an environment form
    // such as %ProgramFiles% expands to another folder for the 64-bit shell
    // (the program is below "Program Files (x86)" there) and whenever
    // another base folder was chosen. Without an install folder, no icon.
    if (installState.installDir[0] && readShellValue(stagedIni, "IconFile", value)) {
        writeShellValue(iniFile, "IconFile", value, installState.installDir);
    }
    int iconIndex = static_cast<int>(readIniInt(kShellClassInfo, "IconIndex", 0, stagedIni));
    writeIniInt(kShellClassInfo, "IconIndex", iconIndex, iniFile);
    if (readShellValue(stagedIni, "InfoTip", value)) {
        writeShellValue(iniFile, "InfoTip", value, setupString(Slot::DirDesc));
    }
    // Read-only last: where the hidden and system bits are kept apart from
    // the write permission (Wine on a Unix file system), a bit added to a
    // read-only file is lost. Windows keeps the three in any order.
    addHiddenAttribute(iniFile);
    addSystemAttribute(iniFile);
    addReadOnlyAttribute(iniFile);
    PathMakeSystemFolderA(folder);
}

struct CopyOptions {
    HWND owner;
    int overwriteExisting;
    int clearReadOnly;
};

// A destination folder that existed as a link (a junction, a symbolic link)
// may lead anywhere, outside the user's own folders too: what lies below it
// gets the copied files, as the user who made the link may want, but no
// Desktop.INI, no system-folder mark, and no entry in the rollback's journal.
// Only folders found existing are looked at: a folder this copy created is
// its own.
bool reachedThroughLink(bool created, const char* folder) { return !created && isLink(folder); }

// What a level of the copy knows of its destination folder.
struct Level {
    bool fresh;   // created by this copy just now: it holds nothing else
    bool linked;  // reached through a link (see reachedThroughLink)
};

// One file entry of a level. The destination's attributes are read once,
// and not at all in a folder this copy has just created, which holds
// nothing else; the source's come from the enumeration, so a file that is
// not read-only costs no attribute writes. false = cancelled.
bool copyFileEntry(const CopyOptions& options, const WIN32_FIND_DATAA& found, const char* source,
                   const char* destination, const char* folder, Level level, CopyJournal* journal) {
    pumpMessages();
    // Counted once the pump before it has shown the files before it.
    addTaskbarProgress(static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
    const DWORD existing = level.fresh ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(destination);
    const bool existed = existing != INVALID_FILE_ATTRIBUTES;
    if (sameTextIgnoringCase(found.cFileName, "Desktop.INI")) {
        if (level.linked) return true;
        customiseFolder(source, destination, folder);
        if (journal && !existed && pathExists(destination)) record(journal, destination);
        return true;
    }
    if (!options.overwriteExisting && existed && !(existing & FILE_ATTRIBUTE_DIRECTORY)) return true;
    if (existed && (existing & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(destination, existing & ~FILE_ATTRIBUTE_READONLY);
    }
    bool copied = copyFileAsking(options.owner, found, source, destination);
    // A finished copy carries the source's attributes: only a read-only
    // source makes it read-only. After a cancel, what is there is unknown.
    if (options.clearReadOnly && (!copied || (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY))) {
        clearReadOnlyAttribute(destination);
    }
    // A cancelled copy may still have left a file behind.
    if (journal && !existed && (copied || pathExists(destination))) record(journal, destination);
    return copied;
}

int copyLevel(const CopyOptions& options, const char* source, const char* destination, Level level,
              CopyJournal* journal);

// One directory entry of a level: the directory, then its tree. Nothing below
// a directory created here is recorded: the directory stands for it all, as
// nothing is below a link.
bool copyDirectoryEntry(const CopyOptions& options, const char* source, const char* destination,
                        CopyJournal* journal, bool linked) {
    bool created = false;
    if (!createDirectory(options.owner, destination, journal, created)) return false;
    const Level level = {created, linked || reachedThroughLink(created, destination)};
    return copyLevel(options, source, destination, level, created || level.linked ? nullptr : journal) != 0;
}

int copyLevel(const CopyOptions& options, const char* source, const char* destination, Level level,
              CopyJournal* journal) {
    return forEachChild(source, destination,
                        [&](const WIN32_FIND_DATAA& found, const char* childSource, const char* childDestination) {
                            return isDirectoryEntry(found)
                                ? copyDirectoryEntry(options, childSource, childDestination, journal, level.linked)
                                : copyFileEntry(options, found, childSource, childDestination, destination,
                                                level, journal);
                        });
}

// `fresh`: `destination` was created by the caller just now.
int copyTreeInto(HWND owner, const char* source, const char* destination, int overwriteExisting,
                 int clearReadOnly, bool fresh, CopyJournal* journal) {
    const CopyOptions options = {owner, overwriteExisting, clearReadOnly};
    const Level level = {fresh, !fresh && isLink(destination) != 0};
    return copyLevel(options, source, destination, level, level.linked ? nullptr : journal);
}

}  // namespace

int copyTree(HWND owner, const char* source, const char* destination, int overwriteExisting,
             int clearReadOnly, CopyJournal* journal) {
    return copyTreeInto(owner, source, destination, overwriteExisting, clearReadOnly, false, journal);
}

int copyTreeIfPresent(HWND owner, const char* source, const char* destination, int overwriteExisting,
                      int clearReadOnly, CopyJournal* journal) {
    if (!isDirectory(source)) return 1;
    bool created = CreateDirectoryA(destination, nullptr) != 0;
    if (!isDirectory(destination)) return 0;
    if (created) record(journal, destination);
    return copyTreeInto(owner, source, destination, overwriteExisting, clearReadOnly, created,
                        created ? nullptr : journal);
}
