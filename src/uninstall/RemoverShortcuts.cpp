// The two shortcuts the installer made, each only while it points into this
// install. Both are named by ProgName; one that is not a plain folder name
// (only an edited manifest carries such a name: the installer refuses it)
// could name another place, so neither is then looked for.
#include <objbase.h>
#include <shlobj.h>

#include "common/Format.h"
#include "common/SafeNames.h"
#include "common/Scoped.h"
#include "deploy/FileOps.h"
#include "registration/Shortcuts.h"
#include "uninstall/RemoverParts.h"

namespace {

// The shell's link object and its two interfaces, defined here so that the
// helper does not take the system's whole table of identifiers with it.
const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool shortcutTargetsThisInstall(const char* link) {
    if (!isExistingFile(link)) return false;
    WCHAR wideLink[kPathSize];
    if (!toWide(link, wideLink, kPathSize)) return false;
    ScopedComPtr<IShellLinkA> shellLink;
    ScopedComPtr<IPersistFile> file;
    char target[kPathSize];
    return CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface, shellLink.receive()) ==
               S_OK &&
           shellLink->QueryInterface(kPersistFileInterface, file.receive()) == S_OK &&
           file->Load(wideLink, STGM_READ) == S_OK &&
           shellLink->GetPath(target, kPathSize, nullptr, SLGP_RAWPATH) == S_OK && namesThisInstall(target);
}

bool removeShortcut(const char* link, bool apply) {
    if (!shortcutTargetsThisInstall(link)) return false;
    if (apply && proceed()) deleteFile(link);
    return true;
}

}  // namespace

// The Programs-menu shortcut (and its folder once empty) and the Desktop
// shortcut.
bool shortcutsStep(bool apply) {
    if (!isPlainFolderName(removal.progName)) return false;
    HRESULT initialised = CoInitialize(nullptr);
    if (initialised != S_OK && initialised != S_FALSE) return false;
    bool found = false;
    char folder[kPathSize];
    char group[kPathSize];
    char link[kPathSize];
    if (getProgramsFolder(folder) && formatText(group, sizeof group, "%s\\%s", folder, removal.progName) &&
        formatText(link, sizeof link, "%s\\%s.lnk", group, removal.progName)) {
        found = removeShortcut(link, apply);
        if (apply && !removal.interrupted) RemoveDirectoryA(group);  // only when empty
    }
    if (getDesktopFolder(folder) && formatText(link, sizeof link, "%s\\%s.lnk", folder, removal.progName)) {
        found = removeShortcut(link, apply) || found;
    }
    CoUninitialize();
    return found;
}
