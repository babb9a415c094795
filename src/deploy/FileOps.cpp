#include "deploy/FileOps.h"

#include "common/Format.h"
#include "common/Paths.h"
#include "common/Scoped.h"
#include "common/Text.h"

#include <windows.h>

#include <string.h>

namespace {

// Every pattern and child path is built in a buffer of the platform's path
// limit, terminator included.
constexpr size_t kPathSize = MAX_PATH;

// A resolved name (the path below its volume, as the file system resolves
// it: wherever a link above the given path leads) may be longer than the
// path it was opened by. Two of these are on the stack for each level of a
// removal.
constexpr size_t kResolvedUnits = 2 * MAX_PATH;

// Reads the attributes, adds `add`, removes `remove`, and writes them back
// with every other bit as read.
int changeAttributes(const char* path, DWORD add, DWORD remove) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return SetFileAttributesA(path, (attributes | add) & ~remove);
}

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Opens the entry at `path` itself, not what a link there points to, and
// shares neither its removal nor its renaming: while the handle is held the
// name keeps naming what was checked.
HANDLE openEntry(const char* path, DWORD access) {
    return CreateFileA(path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The attributes of what the handle holds, when it is of the kind expected
// (a directory or not) and no reparse point; else INVALID_FILE_ATTRIBUTES.
// (Asked for the attributes alone: the whole file record costs Wine a look
// at the volume, a millisecond a file.)
DWORD plainAttributes(HANDLE handle, bool directory) {
    FILE_ATTRIBUTE_TAG_INFO info;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) return INVALID_FILE_ATTRIBUTES;
    const DWORD attributes = info.FileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.ReparseTag != 0) return INVALID_FILE_ATTRIBUTES;
    if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory) return INVALID_FILE_ATTRIBUTES;
    return attributes;
}

// The name the file system resolves the handle to below its volume
// ("\users\me\file.txt"), terminated, into `dst` (kResolvedUnits units).
bool resolvedPath(HANDLE handle, WCHAR* dst) {
    struct {
        FILE_NAME_INFO info;
        WCHAR more[kResolvedUnits];
    } name;
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof name)) return false;
    const DWORD units = name.info.FileNameLength / sizeof(WCHAR);
    if (units == 0 || units >= kResolvedUnits) return false;
    memcpy(dst, name.info.FileName, units * sizeof(WCHAR));
    dst[units] = L'\0';
    return true;
}

// True when the handle resolves to the entry `name` of the folder resolved
// as `folder`, compared as the file system compares names (ordinal, without
// regard to case). Where the platform opens what a link points to even when
// asked for the link itself (Wine), this tells the link from a plain entry.
bool resolvesTo(HANDLE handle, const WCHAR* folder, const char* name) {
    WCHAR expected[kResolvedUnits];
    int length = lstrlenW(folder);
    if (length >= static_cast<int>(kResolvedUnits) - 1) return false;
    memcpy(expected, folder, length * sizeof(WCHAR));
    if (length == 0 || expected[length - 1] != L'\\') expected[length++] = L'\\';
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, expected + length, kResolvedUnits - length) == 0) return false;
    WCHAR resolved[kResolvedUnits];
    return resolvedPath(handle, resolved) &&
           CompareStringOrdinal(expected, -1, resolved, -1, TRUE) == CSTR_EQUAL;
}

// Marks the handle's file or empty directory for deletion; it goes when the
// handle is closed.
bool deleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Opens the file `path` itself for `access` into `file`; its attributes when
// it is a plain file that resolves to the entry `name` of the folder
// resolved as `folder`, else INVALID_FILE_ATTRIBUTES.
DWORD openFile(ScopedHandle& file, const char* path, DWORD access, const WCHAR* folder, const char* name) {
    file.reset(openEntry(path, access));
    if (!file.isValid()) return INVALID_FILE_ATTRIBUTES;
    const DWORD attributes = plainAttributes(file.get(), false);
    if (attributes == INVALID_FILE_ATTRIBUTES || !resolvesTo(file.get(), folder, name)) return INVALID_FILE_ATTRIBUTES;
    return attributes;
}

// Deletes the file `path`, the entry `name` of the folder resolved as
// `folder`, when it is a plain file there; a link (or anything else) stays.
// A read-only file loses that bit by its name while the checked handle is
// held, the name then naming nothing else: Wine opens no read-only file to
// change its attributes by handle.
int deleteEntryFile(const char* path, const WCHAR* folder, const char* name) {
    ScopedHandle file;
    const DWORD attributes = openFile(file, path, DELETE, folder, name);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return 0;
    }
    return deleteByHandle(file.get()) ? 1 : 0;
}

int removeFolder(const char* path, const WCHAR* parent, const char* name);

// Removes one entry that an enumeration of the folder `path` (resolved as
// `resolved`) found. "." and ".." are passed over (1); an entry that, opened,
// turns out to be a link (a junction, a symbolic link: a reparse point, or
// where Wine opens what it points to, an entry resolving elsewhere) or no
// longer what was listed stays (0).
int removeFoundEntry(const char* path, const WCHAR* resolved, const WIN32_FIND_DATAA& entry) {
    const DWORD attributes = entry.dwFileAttributes;
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory && isDotEntry(entry.cFileName)) return 1;
    char child[kPathSize];
    if (!joinPath(child, sizeof child, path, entry.cFileName)) return 0;
    if (directory) return removeFolder(child, resolved, entry.cFileName);
    return deleteEntryFile(child, resolved, entry.cFileName);
}

// Removes everything inside the folder `path`, going on past an entry that
// stays, so that one held file keeps only itself and its folders. 0 when
// anything stays. A directory that cannot be enumerated counts as emptied
// (1): its own removal then decides.
int removeContents(const char* path, const WCHAR* resolved) {
    char buffer[kPathSize];
    if (!folderPattern(buffer, path)) return 0;
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA(buffer, &entry));
    if (!find.isValid()) return 1;
    int result = 1;
    do {
        if (!removeFoundEntry(path, resolved, entry)) result = 0;
    } while (FindNextFileA(find.get(), &entry));
    return result;
}

// Opens the folder `path` itself for `access` into `folder`; true only when
// it is a plain folder that resolves, with a `parent`, to the entry `name`
// of that folder, and then its resolved path is in `resolved`.
bool openFolder(ScopedHandle& folder, const char* path, DWORD access, const WCHAR* parent, const char* name,
                WCHAR* resolved, DWORD& attributes) {
    folder.reset(openEntry(path, access));
    if (!folder.isValid()) return false;
    attributes = plainAttributes(folder.get(), true);
    if (attributes == INVALID_FILE_ATTRIBUTES || !resolvedPath(folder.get(), resolved)) return false;
    return !parent || resolvesTo(folder.get(), parent, name);
}

// Removes the folder `path` with its tree. It is held open while its entries
// go, so that it cannot be renamed or swapped for a link meanwhile, and is
// then opened again (checked again) to be deleted by that handle: the hold
// cannot ask for deletion itself, as the enumeration does not share it.
// With a `parent`, it must resolve to the entry `name` of that folder. 0
// when it is a link, anything in it stays, or it cannot be removed.
int removeFolder(const char* path, const WCHAR* parent, const char* name) {
    WCHAR resolved[kResolvedUnits];
    DWORD attributes = 0;
    int emptied = 0;
    {
        ScopedHandle hold;
        if (!openFolder(hold, path, FILE_LIST_DIRECTORY, parent, name, resolved, attributes)) return 0;
        emptied = removeContents(path, resolved);
    }
    // Tried even when something inside stayed: it then fails and changes
    // nothing, and a folder too deep to enumerate is removed when empty.
    WCHAR again[kResolvedUnits];
    ScopedHandle folder;
    const bool removed = openFolder(folder, path, DELETE, parent, name, again, attributes) &&
                         CompareStringOrdinal(resolved, -1, again, -1, TRUE) == CSTR_EQUAL &&
                         deleteByHandle(folder.get());
    return emptied && removed ? 1 : 0;
}

// `path` without a trailing backslash, into `dst`: with one, a link to a
// folder reads as the folder it points to. false when nothing (or only a
// drive) would be left.
bool withoutTrailingSeparator(char* dst, const char* path) {
    if (!copyText(dst, kPathSize, path)) return false;
    char* last = findLastBackslash(dst);
    if (last && last[1] == '\0') *last = '\0';
    const size_t length = lstrlenA(dst);
    return length > 0 && dst[length - 1] != ':';
}

}  // namespace

int isExistingFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int isDirectory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int isLink(const char* path) {
    char plain[kPathSize];
    if (!withoutTrailingSeparator(plain, path)) return 0;
    DWORD attributes = GetFileAttributesA(plain);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int addHiddenAttribute(const char* path) { return changeAttributes(path, FILE_ATTRIBUTE_HIDDEN, 0); }
int addReadOnlyAttribute(const char* path) { return changeAttributes(path, FILE_ATTRIBUTE_READONLY, 0); }
int addSystemAttribute(const char* path) { return changeAttributes(path, FILE_ATTRIBUTE_SYSTEM, 0); }
int clearReadOnlyAttribute(const char* path) { return changeAttributes(path, 0, FILE_ATTRIBUTE_READONLY); }

// The file is checked against its folder as an entry of a removal is, so
// that neither its read-only bit nor its deletion reaches through a link.
int deleteFile(const char* path) {
    char folder[kPathSize];
    if (!copyText(folder, sizeof folder, path)) return 0;
    char* last = findLastBackslash(folder);
    if (!last || last[1] == '\0') return 0;
    const char* name = path + (last + 1 - folder);
    // A drive's root keeps its backslash: "C:" alone is the drive's current
    // folder.
    last[last > folder && last[-1] == ':' ? 1 : 0] = '\0';
    ScopedHandle parent(CreateFileA(*folder ? folder : "\\", FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    WCHAR resolved[kResolvedUnits];
    if (!parent.isValid() || !resolvedPath(parent.get(), resolved)) return 0;
    return deleteEntryFile(path, resolved, name);
}

// An empty path would make the pattern "\*.*", the root of the current
// drive: refused, as is a drive itself. A link given as the tree stays: the
// test is made on its name, as the platform that opens what a link points to
// still marks a link to a folder there.
int removeTree(const char* path) {
    if (!path || !*path) return 0;
    char folder[kPathSize];
    if (!withoutTrailingSeparator(folder, path)) return 0;
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return 0;
    }
    return removeFolder(folder, nullptr, nullptr);
}
