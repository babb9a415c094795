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

// 1 when the path (a trailing backslash aside) is a junction, a symbolic
// link or another reparse point; else 0. Where the platform marks only links
// to folders this way (Wine), a link to a file reads as a file.
int isLink(const char* path);

// Deletes the file `path` (a full path; its last component a long name), its
// read-only attribute cleared first. A link stays, and so does a file that,
// opened by its name, resolves to anywhere but that folder and name (a link
// the platform does not mark as one). Non-zero = deleted.
int deleteFile(const char* path);

// Deletes a directory with everything in it, depth first. An entry that
// cannot be deleted (held open, a path that does not fit 260 bytes) stays
// with the folders above it, the removal goes on with the rest, and the
// result is 0. No removal reaches through a link: a path that is itself a
// link, or is no directory, is refused with 0 and left as it is; inside,
// every link (to a folder or a file, at any depth) stays with what it points
// to, and its folders with it. Each folder is held open while it is emptied
// and every entry is deleted by a handle opened on the entry itself, checked
// first to resolve to its own folder and name. The path may end with a
// backslash; an empty or null path, or a drive, is refused with 0.
int removeTree(const char* path);
