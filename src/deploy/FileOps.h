#pragma once
// File attributes and tree removal, shared by every subsystem.

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

// Deletes a directory with everything in it, depth first, and stops at the
// first entry it cannot delete (0). The path may end with a backslash.
// Otherwise the result is RemoveDirectoryA's on the directory itself. A child
// path that does not fit 260 bytes stops the removal with 0; an empty or null
// path is refused with 0.
int removeTree(const char* path);
