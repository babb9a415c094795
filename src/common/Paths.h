#pragma once
// The one rule for every path of a run: the extraction, the copy, the
// removal and the journal all form paths here, so that a path one of them
// accepts is one every later step can use.
//
// A path is at most kPathLimit bytes (a 260-byte buffer with its
// terminator). A folder is at most kFolderLimit bytes, so that its
// enumeration pattern "folder\*" fits as well. A folder and a name are
// joined with exactly one backslash: a folder that already ends with one
// (the staging folder) gets no second one, which would cost a byte.
#include <stddef.h>

constexpr size_t kPathLimit = 259;
constexpr size_t kFolderLimit = kPathLimit - 2;

// The length `folder` joined with `name` would have.
size_t joinedLength(const char* folder, const char* name);

// Writes `folder`, a backslash unless it is empty or ends with one, and
// `name` into `dst` (`size` bytes). false when it does not fit.
bool joinPath(char* dst, size_t size, const char* folder, const char* name);

// The enumeration pattern "folder\*" (every entry, as "*.*" would match)
// into a 260-byte buffer. false when it does not fit.
bool folderPattern(char* dst, const char* folder);

// A path that does not fit, kept whole (up to the size of `path`) so that a
// message can name it with its length and the limit it exceeds.
struct PathOverflow {
    char path[1400];
    size_t length;
    size_t limit;
};

// Records `folder` joined with `name` (an empty name: the folder alone) as
// exceeding `limit`, when `overflow` is given. Always false, for returning.
bool noteOverflow(PathOverflow* overflow, const char* folder, const char* name, size_t limit);

// "The path is N characters long; the limit is M." into `dst`.
void describeOverflow(char* dst, size_t size, const PathOverflow& overflow);
