#pragma once
// Names from the payload and the setup INI that become parts of paths.

// True when `name` (a relative path in the ANSI code page: an entry name of
// the payload, ProgDir, ProgFile) names a place inside the folder it is
// appended to: not empty, no leading
// separator, no drive or stream colon, no component that is empty or made
// only of dots and blanks (the platform drops trailing dots and blanks, so
// ".. " means ".."), and no device name (CON, NUL, COM1, ...) as a component.
bool isSafeEntryName(const char* name);

// True when `name` can be a folder directly below the temp folder: the same
// rules for a single component, and none of \ / : * ? " < > |.
bool isPlainFolderName(const char* name);
