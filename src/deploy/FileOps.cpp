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
// path it was opened by. One of these is on the stack for each level of a
// removal.
constexpr size_t kResolvedUnits = 2 * MAX_PATH;

// Reads the attributes, adds `add`, removes `remove`, and writes them back
// with every other bit as read.
int changeAttributes(const char* path, DWORD add, DWORD remove) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return SetFileAttributesA(path, (attributes | add) & ~remove);
}

// Opens the entry at `path` itself, not what a link there points to, and
// shares neither its removal nor its renaming: while the handle is held the
// name keeps naming what was checked. Only a `folder` opens a directory.
HANDLE openEntry(const char* path, DWORD access, bool folder) {
    const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
    return CreateFileA(path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
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

// True when `resolved` (a name as resolvedPath gives it) is the entry `name`
// of the folder resolved as `folder`, compared as the file system compares
// names (ordinal, without regard to case).
bool namesEntry(const WCHAR* resolved, const WCHAR* folder, const char* name) {
    WCHAR expected[kResolvedUnits];
    int length = lstrlenW(folder);
    if (length >= static_cast<int>(kResolvedUnits) - 1) return false;
    memcpy(expected, folder, length * sizeof(WCHAR));
    if (length == 0 || expected[length - 1] != L'\\') expected[length++] = L'\\';
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, expected + length, kResolvedUnits - length) == 0) return false;
    return CompareStringOrdinal(expected, -1, resolved, -1, TRUE) == CSTR_EQUAL;
}

// True when the handle resolves to the entry `name` of the folder resolved
// as `folder`. Where the platform opens what a link points to even when
// asked for the link itself (Wine), this tells the link from a plain entry.
bool resolvesTo(HANDLE handle, const WCHAR* folder, const char* name) {
    WCHAR resolved[kResolvedUnits];
    return resolvedPath(handle, resolved) && namesEntry(resolved, folder, name);
}

// Marks the handle's file or empty directory for deletion; it goes when the
// handle is closed.
bool deleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Deletes the file `path`, the entry `name` of the folder resolved as
// `folder`, when it is a plain file there; a link (or anything else) stays.
// `listed`: its attributes as a listing of that folder showed them, which
// tell a link where the platform marks one (then it is not even opened), or
// INVALID_FILE_ATTRIBUTES to ask the opened file. The resolved name tells
// the links that the platform does not mark (Wine's links to files), and a
// link put in the entry's place after the listing is opened as the link
// itself, whose deletion leaves what it points to. A read-only file loses
// that bit by its name while the checked handle is held, the name then
// naming nothing else: Wine opens no read-only file to change its
// attributes by handle.
int deleteEntryFile(const char* path, const WCHAR* folder, const char* name, DWORD listed) {
    if (listed != INVALID_FILE_ATTRIBUTES && (listed & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        return 0;
    }
    ScopedHandle file(openEntry(path, DELETE, false));
    if (!file.isValid()) return 0;
    const DWORD attributes = listed != INVALID_FILE_ATTRIBUTES ? listed : plainAttributes(file.get(), false);
    if (attributes == INVALID_FILE_ATTRIBUTES || !resolvesTo(file.get(), folder, name)) return 0;
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return 0;
    }
    return deleteByHandle(file.get()) ? 1 : 0;
}

// One entry of a folder's listing, its name in the ANSI code page.
struct ListedEntry {
    char name[kPathSize];
    DWORD attributes;
};

// The listing of a folder, read through a handle to the folder itself:
// several entries per call into a buffer of kListingSize bytes.
constexpr DWORD kListingSize = 4096;

class FolderListing {
public:
    explicit FolderListing(HANDLE folder) : folder_(folder), buffer_(kListingSize) {}

    // The next entry but "." and ".."; false at the end, or when the listing
    // cannot be read (an entry whose name does not convert is still given,
    // with an empty name, so that it counts as one that stays).
    bool next(ListedEntry& entry) {
        for (;;) {
            if (!current_ && !fill()) return false;
            const FILE_FULL_DIR_INFO* info = current_;
            current_ = info->NextEntryOffset
                ? reinterpret_cast<const FILE_FULL_DIR_INFO*>(reinterpret_cast<const unsigned char*>(info) +
                                                               info->NextEntryOffset)
                : nullptr;
            const int units = static_cast<int>(info->FileNameLength / sizeof(WCHAR));
            const WCHAR* name = info->FileName;
            if (name[0] == L'.' && (units == 1 || (units == 2 && name[1] == L'.'))) continue;
            entry.attributes = info->FileAttributes;
            if (!convertName(name, units, entry.name)) entry.name[0] = '\0';
            return true;
        }
    }

private:
    bool fill() {
        if (!buffer_.get()) return false;
        const FILE_INFO_BY_HANDLE_CLASS kind = started_ ? FileFullDirectoryInfo : FileFullDirectoryRestartInfo;
        started_ = true;
        if (!GetFileInformationByHandleEx(folder_, kind, buffer_.get(), kListingSize)) return false;
        current_ = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer_.get());
        return true;
    }

    // The name in the ANSI code page. A character the code page lacks
    // becomes another ('?' or a look-alike, even a backslash): the name then
    // fails to open, or opens something that does not resolve to this
    // folder's entry of that name, and stays either way.
    static bool convertName(const WCHAR* name, int units, char* dst) {
        if (units <= 0) return false;
        const int bytes = WideCharToMultiByte(CP_ACP, 0, name, units, dst, kPathSize - 1, nullptr, nullptr);
        if (bytes <= 0) return false;
        dst[bytes] = '\0';
        return true;
    }

    HANDLE folder_;
    HeapBuffer buffer_;
    const FILE_FULL_DIR_INFO* current_ = nullptr;
    bool started_ = false;
};

int removeFolder(const char* path, const WCHAR* parent, const char* name);

// Removes one entry that the listing of the folder `path` (resolved as
// `resolved`) showed. An entry that, opened, turns out to be a link (a
// junction, a symbolic link: a reparse point, or where Wine opens what it
// points to, an entry resolving elsewhere) or no longer what was listed
// stays (0).
int removeListedEntry(const char* path, const WCHAR* resolved, const ListedEntry& entry) {
    char child[kPathSize];
    if (!entry.name[0] || !joinPath(child, sizeof child, path, entry.name)) return 0;
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) return removeFolder(child, resolved, entry.name);
    return deleteEntryFile(child, resolved, entry.name, entry.attributes);
}

// Removes everything inside the folder `path` (resolved as `resolved`),
// listed through the handle `folder`, going on past an entry that stays, so
// that one held file keeps only itself and its folders. 0 when anything
// stays. A listing that cannot be read counts as emptied (1): the folder's
// own removal then decides.
int removeContents(HANDLE folder, const char* path, const WCHAR* resolved) {
    FolderListing listing(folder);
    ListedEntry entry;
    int result = 1;
    while (listing.next(entry)) {
        if (!removeListedEntry(path, resolved, entry)) result = 0;
    }
    return result;
}

// Opens the folder `path` itself for `access` into `folder`; true only when
// it is a plain folder that resolves, with a `parent`, to the entry `name`
// of that folder, and then its resolved path is in `resolved`.
bool openFolder(ScopedHandle& folder, const char* path, DWORD access, const WCHAR* parent, const char* name,
                WCHAR* resolved) {
    folder.reset(openEntry(path, access, true));
    if (!folder.isValid()) return false;
    if (plainAttributes(folder.get(), true) == INVALID_FILE_ATTRIBUTES || !resolvedPath(folder.get(), resolved)) {
        return false;
    }
    return !parent || namesEntry(resolved, parent, name);
}

// Removes the folder `path` with its tree. One handle, opened on the folder
// itself and checked, lists it, is held while its entries go, so that it
// cannot be renamed or swapped for a link meanwhile, and then deletes it.
// With a `parent`, it must resolve to the entry `name` of that folder. 0
// when it is a link, anything in it stays, or it cannot be removed.
int removeFolder(const char* path, const WCHAR* parent, const char* name) {
    WCHAR resolved[kResolvedUnits];
    ScopedHandle folder;
    if (!openFolder(folder, path, FILE_LIST_DIRECTORY | DELETE, parent, name, resolved)) return 0;
    const int emptied = removeContents(folder.get(), path, resolved);
    // Tried even when something inside stayed: it then fails and changes
    // nothing.
    const bool removed = deleteByHandle(folder.get());
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
    return deleteEntryFile(path, resolved, name, INVALID_FILE_ATTRIBUTES);
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
