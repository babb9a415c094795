#pragma once
// The directory dialog (dialog 134): choice of the base directory; and the
// pieces that the install prompt shares with it.
#include <windows.h>

#include "common/InstallState.h"

// Ends with 1 (a directory was stored as the base directory) or 2 (Cancel).
INT_PTR CALLBACK directoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Starts `program` with one quoted argument; does not wait, reports nothing.
// A command line that would not fit its buffer is not started at all.
void launchProgram(const char* program, const char* argument);

// What the Explore button calls instead of launchProgram when set; tests set
// it to watch what would be started. Null (launchProgram) in the installer.
extern void (*exploreLauncher)(const char* program, const char* argument);

// Sets the install-directory preview (control 1003) of `dialog` to the text
// of its base-directory edit (1001) joined with ProgDir as the install step
// joins them; an empty text gives a backslash and ProgDir. A preview that
// does not fit a path is shown cut and ending in "...".
void updateInstallDirPreview(HWND dialog);

// True when `baseDir` may become the base directory: not empty, an existing
// directory, and with ProgDir joined to it a folder within kFolderLimit, as
// the install step requires of the install folder.
bool isUsableBaseDir(const char* baseDir);

// A control of a dialog and the text slot it shows (kept small: the tables
// of these are part of setup.exe's size).
struct ControlText {
    constexpr ControlText(unsigned short controlId, Slot textSlot)
        : id(controlId), slot(static_cast<unsigned char>(textSlot)) {}
    unsigned short id;
    unsigned char slot;
};

// How both dialogs begin: centres `dialog`, captions it with ProgName, sets
// the text of texts[0], then the base-directory edit (1001) to the base
// directory (its EN_CHANGE fills the preview), then the rest of `texts`.
void initDialogTexts(HWND dialog, const ControlText* texts, size_t count);

// Reads the base-directory edit (1001) of `dialog` into `baseDir` (260 bytes,
// at most 259 characters); empty when it cannot be read.
void readBaseDirEdit(HWND dialog, char* baseDir);
