#pragma once
// Shortcuts to the installed program, and the user's special folders.

// Makes the Programs-menu shortcut (in a folder named ProgName) and the
// Desktop shortcut; a shortcut whose path would not fit 260 bytes is not
// made. Reports nothing and never fails the install.
void createShortcuts();

// Saves a shortcut file to `target`, working in the target's folder (the
// target must contain a backslash). Null or empty `arguments`/`description`
// are not set. 1 = saved, 0 = otherwise.
int createShellLink(const char* shortcutPath, const char* target,
                    const char* arguments, const char* description);

// Each fills a 260-byte buffer with one of the current user's folders
// (not created when missing). 1 = found, 0 = otherwise.
int getPersonalFolder(char* path);
int getProgramsFolder(char* path);
int getDesktopFolder(char* path);
