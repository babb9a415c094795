#pragma once
// Copy of a staged tree to its destination, with folder customisation.
#include <windows.h>

// Copies the tree below `source` into the existing directory `destination`
// (no trailing backslash), level by level, asking Retry/Cancel when a file
// cannot be copied or a directory cannot be created. A Desktop.INI is not
// copied but rebuilt for the installation. `overwriteExisting` 0 leaves
// existing destination files alone; `clearReadOnly` 1 makes every copied file
// writable. 1 = completed; 0 = cancelled by the user.
int copyTree(HWND owner, const char* source, const char* destination,
             int overwriteExisting, int clearReadOnly);

// 1 without doing anything when `source` is not a directory; otherwise
// creates `destination` (one level), returns 0 if it is not a directory
// afterwards, else copyTree's result.
int copyTreeIfPresent(HWND owner, const char* source, const char* destination,
                      int overwriteExisting, int clearReadOnly);
