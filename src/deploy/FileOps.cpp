#include "deploy/FileOps.h"

#include "common/Format.h"
#include "common/Paths.h"
#include "common/Scoped.h"

#include <windows.h>

namespace {

// Every pattern and child path is built in a buffer of the platform's path
// limit, terminator included.
constexpr size_t kPathSize = MAX_PATH;

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

// Removes everything inside `path`, going on past an entry that stays, so
// that one held file keeps only itself and its folders. 0 when anything
// stays. A directory that cannot be enumerated counts as emptied (1): its
// own removal then decides.
int removeContents(const char* path) {
    char buffer[kPathSize];
    if (!folderPattern(buffer, path)) return 0;
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA(buffer, &entry));
    if (!find.isValid()) return 1;
    int result = 1;
    do {
        if (!removeFoundEntry(path, entry)) result = 0;
    } while (FindNextFileA(find.get(), &entry));
    return result;
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

int addHiddenAttribute(const char* path) { return changeAttributes(path, FILE_ATTRIBUTE_HIDDEN, 0); }
int addReadOnlyAttribute(const char* path) { return changeAttributes(path, FILE_ATTRIBUTE_READONLY, 0); }
int addSystemAttribute(const char* path) { return changeAttributes(path, FILE_ATTRIBUTE_SYSTEM, 0); }
int clearReadOnlyAttribute(const char* path) { return changeAttributes(path, 0, FILE_ATTRIBUTE_READONLY); }

int deleteFile(const char* path) {
    clearReadOnlyAttribute(path);
    return DeleteFileA(path);
}

// The attributes come from the enumeration: a file that is not read-only is
// deleted without reading or writing them.
int removeFoundEntry(const char* parent, const WIN32_FIND_DATAA& entry) {
    const DWORD attributes = entry.dwFileAttributes;
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory && isDotEntry(entry.cFileName)) return 1;
    char child[kPathSize];
    if (!joinPath(child, sizeof child, parent, entry.cFileName)) return 0;
    // A junction or directory link is removed as a link: what it points to
    // lies outside the tree and is not this removal's to delete.
    if (directory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return RemoveDirectoryA(child);
    if (directory) return removeTree(child);
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(child, attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileA(child);
}

// An empty path would make the pattern "\*.*", the root of the current drive:
// refused.
int removeTree(const char* path) {
    if (!path || !*path) return 0;
    const int emptied = removeContents(path);
    // Tried even when something inside stayed: it then fails and changes
    // nothing, and a folder too deep to enumerate is removed when empty.
    const BOOL removed = RemoveDirectoryA(path);
    return emptied ? removed : 0;
}
