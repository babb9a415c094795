#pragma once
// Copy of a staged tree to its destination, with folder customisation.
#include <windows.h>

class CopyJournal;

// Copies the tree below `source` into the existing directory `destination`
// (no trailing backslash), level by level, asking Retry/Cancel when a file
// cannot be copied or a directory cannot be created. A Desktop.INI is not
// copied but rebuilt for the installation. `overwriteExisting` 0 leaves
// existing destination files alone; `clearReadOnly` 1 makes every copied file
// writable. `journal` (may be null) records each directory and file that the
// copy creates. A destination folder that already existed as a link
// (`destination` itself or one below it) is copied into, but gets no
// Desktop.INI and no system-folder mark, and nothing below it is recorded.
// 1 = completed; 0 = cancelled by the user, or a path below would not fit
// 260 bytes (nothing is asked then).
int copyTree(HWND owner, const char* source, const char* destination,
             int overwriteExisting, int clearReadOnly, CopyJournal* journal = nullptr);

// 1 without doing anything when `source` is not a directory; otherwise
// creates `destination` (one level; recorded in `journal` when this call
// created it), returns 0 if it is not a directory afterwards, else copyTree's
// result.
int copyTreeIfPresent(HWND owner, const char* source, const char* destination,
                      int overwriteExisting, int clearReadOnly, CopyJournal* journal = nullptr);
