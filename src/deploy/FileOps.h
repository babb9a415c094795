#pragma once
// File attributes and tree removal, shared by every subsystem.
#include <windows.h>

// 1 if the path's attributes can be read and it is not a directory; else 0.
int isExistingFile(const char* path);
// 1 if the path's attributes can be read and it is a directory; else 0.
int isDirectory(const char* path);

// Each reads the attributes (0 when they cannot be read), changes one bit and
// writes them back; the result is SetFileAttributesA's (non-zero = success).
int addHiddenAttribute(const char* path);
int addReadOnlyAttribute(const char* path);
int addSystemAttribute(const char* path);
int clearReadOnlyAttribute(const char* path);

// Clears the read-only attribute, then deletes the file. Non-zero = deleted.
int deleteFile(const char* path);

// Deletes a directory with everything in it, depth first. An entry that
// cannot be deleted (held open, a path that does not fit 260 bytes) stays
// with the folders above it, the removal goes on with the rest, and the
// result is 0. Otherwise the result is RemoveDirectoryA's on the directory
// itself. The path may end with a backslash; an empty or null path is
// refused with 0.
int removeTree(const char* path);

// Removes one entry that an enumeration of `parent` found, trusting the
// attributes it reported: "." and ".." are passed over (1), a junction or
// directory link is removed as a link (what it points to stays), a
// directory with its tree, a file after its read-only bit is cleared.
// Non-zero = removed.
int removeFoundEntry(const char* parent, const WIN32_FIND_DATAA& entry);
