#include "registration/Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Scoped.h"
#include "common/Text.h"
#include "deploy/FileOps.h"

namespace {

int getSpecialFolder(char* path, int folder) {
    if (SHGetSpecialFolderPathA(nullptr, path, folder, FALSE)) return 1;
    path[0] = '\0';
    return 0;
}

// "folder\ProgName.lnk"; false when it does not fit.
bool formShortcutPath(char* path, const char* folder) {
    return formatText(path, kPathSize, "%s\\%s.lnk", folder, setupString(Slot::ProgName));
}

void createShortcut(const char* folder) {
    char path[kPathSize];
    if (!formShortcutPath(path, folder)) return;
    const char* description = setupString(Slot::ProgDesc);
    createShellLink(path, installState.programPath, nullptr, description);
}

// The two shortcuts. The desktop one is made only when the program group
// folder exists, as the menu one is. One follows the other at once: each
// save has finished writing its file when it returns, and neither waits for
// the shell to read the other.
void createBothShortcuts() {
    char group[kPathSize];
    if (!getProgramsFolder(group)) return;
    if (!appendText(group, sizeof group, "\\") ||
        !appendText(group, sizeof group, setupString(Slot::ProgName))) {
        return;
    }
    CreateDirectoryA(group, nullptr);  // it may exist already
    if (!isDirectory(group)) return;
    createShortcut(group);
    char desktop[kPathSize];
    if (getDesktopFolder(desktop)) createShortcut(desktop);
}

}  // namespace

int createShellLink(const char* shortcutPath, const char* target, const char* arguments,
                    const char* description) {
    // The working directory is the target's folder.
    char workingDir[kPathSize];
    if (!copyText(workingDir, sizeof workingDir, target)) return 0;
    char* lastBackslash = findLastBackslash(workingDir);
    if (!lastBackslash) return 0;
    *lastBackslash = '\0';
    WCHAR widePath[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, widePath, kPathSize) == 0) return 0;

    ScopedComPtr<IShellLinkA> link;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         link.receive()) != S_OK || !link.get()) {
        return 0;
    }
    ScopedComPtr<IPersistFile> file;
    if (link->QueryInterface(IID_IPersistFile, file.receive()) != S_OK || !file.get()) return 0;

    link->SetPath(target);
    link->SetWorkingDirectory(workingDir);
    if (arguments && arguments[0]) link->SetArguments(arguments);
    if (description && description[0]) link->SetDescription(description);
    return file->Save(widePath, TRUE) == S_OK ? 1 : 0;
}

// COM counts as initialised on S_OK and on S_FALSE (already initialised on
// this thread); each is balanced by one CoUninitialize.
void createShortcuts() {
    HRESULT initialised = CoInitialize(nullptr);
    if (initialised != S_OK && initialised != S_FALSE) return;
    createBothShortcuts();
    CoUninitialize();
}

int getPersonalFolder(char* path) { return getSpecialFolder(path, CSIDL_PERSONAL); }
int getProgramsFolder(char* path) { return getSpecialFolder(path, CSIDL_PROGRAMS); }
int getDesktopFolder(char* path) { return getSpecialFolder(path, CSIDL_DESKTOP); }
