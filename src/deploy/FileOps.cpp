#include "deploy/FileOps.h"

#include "common/Format.h"
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

// Removes one entry of `parent`, using `child` for its path. 0 when it stays.
int removeEntry(const char* parent, const WIN32_FIND_DATAA& entry, char* child) {
    bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory && isDotEntry(entry.cFileName)) return 1;
    // No test for a trailing backslash: a doubled one is a single separator.
    if (!formatText(child, kPathSize, "%s\\%s", parent, entry.cFileName)) return 0;
    // A junction or directory link is removed as a link: what it points to
    // lies outside the tree and is not this removal's to delete.
    if (directory && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return RemoveDirectoryA(child);
    if (directory) return removeTree(child);
    clearReadOnlyAttribute(child);
    return deleteFile(child);
}

// Removes everything inside `path`, stopping at the first entry that stays
// (0). A directory that cannot be enumerated counts as emptied (1): its own
// removal then decides.
int removeContents(const char* path) {
    char buffer[kPathSize];  // the pattern, then each child's path
    if (!formatText(buffer, sizeof buffer, "%s\\*.*", path)) return 0;
    WIN32_FIND_DATAA entry;
    ScopedFind find(FindFirstFileA(buffer, &entry));
    if (!find.isValid()) return 1;
    int result = 1;
    do {
        result = removeEntry(path, entry, buffer);
    } while (result != 0 && FindNextFileA(find.get(), &entry));
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

// An empty path would make the pattern "\*.*", the root of the current drive:
// refused.
int removeTree(const char* path) {
    if (!path || !*path) return 0;
    if (!removeContents(path)) return 0;
    return RemoveDirectoryA(path);
}
