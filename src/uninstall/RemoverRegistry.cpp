// The registry part of the removal: only the values and keys the installer
// wrote (src/registration/Registration.cpp), and only while they still name
// this install. A key that holds anything else (another product's verbs,
// OpenWithProgids, ShellNew, the program's own settings) stays.
#include "common/Format.h"
#include "common/SafeNames.h"
#include "common/Text.h"
#include "registration/RegistryKey.h"
#include "registration/RegistryText.h"
#include "uninstall/RemoverParts.h"

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kAppPathsRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kVendorRoot[] = "SOFTWARE\\QRB";

// The values the installer writes into the uninstall entry.
const char* const kEntryValues[] = {"DisplayName", "DisplayVersion", "InstallLocation",
                                    "UninstallString", "VersionMajor", "VersionMinor"};

bool readValue(HKEY root, const char* path, const char* name, char* value) {
    RegistryKey key;
    if (key.open(root, path, KEY_READ) != ERROR_SUCCESS) return false;
    return queryTextValue(key, name, value, kTextSize);
}

bool keyExists(HKEY root, const char* path) {
    RegistryKey key;
    return key.open(root, path, KEY_READ) == ERROR_SUCCESS;
}

// True when the key exists and holds no value and no subkey.
bool isEmptyKey(HKEY root, const char* path) {
    RegistryKey key;
    DWORD subKeys = 0, values = 0;
    return key.open(root, path, KEY_READ) == ERROR_SUCCESS &&
           RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && values == 0;
}

// Deletes `path` while it is empty, then its parents while they are empty
// too: `levels` keys in all, the deepest first.
void removeEmptyKeys(HKEY root, const char* path, int levels) {
    char work[kTextSize];
    if (!copyText(work, sizeof work, path)) return;
    for (int level = 0; level < levels; ++level) {
        if (!isEmptyKey(root, work)) return;
        RegDeleteKeyA(root, work);
        char* slash = findLastBackslash(work);
        if (!slash) return;
        *slash = '\0';
    }
}

void deleteValue(HKEY root, const char* path, const char* name) {
    RegistryKey key;
    if (key.open(root, path, kKeyAllAccess) == ERROR_SUCCESS) RegDeleteValueA(key.get(), name);
}

// One value the installer wrote, and the keys it made for it once they are
// empty: one step of the run.
void removeValueAndKeys(HKEY root, const char* path, const char* name, int levels) {
    if (!proceed()) return;
    deleteValue(root, path, name);
    removeEmptyKeys(root, path, levels);
}

// Another uninstall entry (another ProgDir) with this DisplayName: another
// install of a program of the same name, which shares the vendor key.
bool anotherInstallNamed() {
    RegistryKey root;
    if (root.open(HKEY_LOCAL_MACHINE, kUninstallRoot, KEY_READ) != ERROR_SUCCESS) return false;
    char name[256];
    for (DWORD i = 0; root.enumerateSubKey(i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        if (sameTextIgnoringCase(name, removal.progDir)) continue;
        char path[kTextSize];
        char displayName[kTextSize];
        if (formatText(path, sizeof path, "%s\\%s", kUninstallRoot, name) &&
            readValue(HKEY_LOCAL_MACHINE, path, "DisplayName", displayName) &&
            sameTextIgnoringCase(displayName, removal.progName)) {
            return true;
        }
    }
    return false;
}

// The type key is this install's while its open command names this install
// (its icon, when it has no command).
bool typeNamesThisInstall() {
    char path[kTextSize];
    char value[kTextSize];
    if (formatText(path, sizeof path, "%s\\Shell\\open\\command", removal.type) &&
        readValue(HKEY_CLASSES_ROOT, path, nullptr, value) && value[0]) {
        return namesThisInstall(value);
    }
    return formatText(path, sizeof path, "%s\\DefaultIcon", removal.type) &&
           readValue(HKEY_CLASSES_ROOT, path, nullptr, value) && namesThisInstall(value);
}

bool entryPath(char (&path)[kTextSize]) {
    return formatText(path, sizeof path, "%s\\%s", kUninstallRoot, removal.progDir);
}

}  // namespace

void readEntry() {
    char path[kTextSize];
    char location[kTextSize];
    removal.entryExists = removal.entryOurs = false;
    removal.entryVersion[0] = '\0';
    if (!entryPath(path)) return;
    removal.entryExists = keyExists(HKEY_LOCAL_MACHINE, path);
    WCHAR wideLocation[kPathSize];
    WCHAR canonical[kPathSize];
    // Stored as the user typed the base folder: made canonical like ours.
    removal.entryOurs = readValue(HKEY_LOCAL_MACHINE, path, "InstallLocation", location) &&
                        toWide(location, wideLocation, kPathSize) && canonicalPath(wideLocation, canonical) &&
                        samePath(canonical, removal.folderW);
    if (!readValue(HKEY_LOCAL_MACHINE, path, "DisplayVersion", removal.entryVersion)) removal.entryVersion[0] = '\0';
}

void removeEntry() {
    char path[kTextSize];
    if (!removal.entryOurs || !entryPath(path)) return;
    for (const char* name : kEntryValues) deleteValue(HKEY_LOCAL_MACHINE, path, name);
    removeEmptyKeys(HKEY_LOCAL_MACHINE, path, 1);
}

// The extension first, while the type still shows that it is this install's
// (so that a run cut short between the two leaves a type that a second run
// still recognises), then the type: the command, the icon last, for the
// same reason. An extension whose type is gone is not provably this
// install's and stays.
bool fileTypeStep(bool apply) {
    if (!removal.type[0] || removal.extension[0] != '.') return false;
    if (!keyExists(HKEY_CLASSES_ROOT, removal.type) || !typeNamesThisInstall()) return false;
    if (!apply) return true;
    char value[kTextSize];
    if (readValue(HKEY_CLASSES_ROOT, removal.extension, nullptr, value) &&
        sameTextIgnoringCase(value, removal.type)) {
        removeValueAndKeys(HKEY_CLASSES_ROOT, removal.extension, nullptr, 1);
    }
    char path[kTextSize];
    removeValueAndKeys(HKEY_CLASSES_ROOT, removal.type, nullptr, 0);  // the description
    if (formatText(path, sizeof path, "%s\\Shell\\open\\command", removal.type)) {
        removeValueAndKeys(HKEY_CLASSES_ROOT, path, nullptr, 3);
    }
    if (formatText(path, sizeof path, "%s\\DefaultIcon", removal.type)) {
        removeValueAndKeys(HKEY_CLASSES_ROOT, path, nullptr, 2);
    }
    if (!removal.interrupted) removal.typeRemoved = true;
    return true;
}

// The App Paths entry, while it points into this install: its two values.
bool appPathStep(bool apply) {
    char path[kTextSize];
    char value[kTextSize];
    if (!formatText(path, sizeof path, "%s\\%s.exe", kAppPathsRoot, removal.progFile) ||
        !readValue(HKEY_LOCAL_MACHINE, path, nullptr, value) || !namesThisInstall(value)) {
        return false;
    }
    if (!apply) return true;
    WCHAR wide[kPathSize];
    WCHAR canonical[kPathSize];
    if (readValue(HKEY_LOCAL_MACHINE, path, "Path", value) && toWide(value, wide, kPathSize) &&
        canonicalPath(wide, canonical) && samePath(canonical, removal.folderW)) {
        removeValueAndKeys(HKEY_LOCAL_MACHINE, path, "Path", 0);
    }
    removeValueAndKeys(HKEY_LOCAL_MACHINE, path, nullptr, 1);
    return true;
}

// SOFTWARE\QRB\<ProgName>\<version>, the empty keys the installer made: only
// this ProgName's key (a name that is not one plain key name is left
// alone), only while no other install owns it (the uninstall entry of this
// ProgDir names another folder, or another entry carries the same name), and
// not what the program keeps there.
bool vendorStep(bool apply) {
    char path[kTextSize];
    if (!isPlainFolderName(removal.progName) ||
        !formatText(path, sizeof path, "%s\\%s", kVendorRoot, removal.progName) ||
        !keyExists(HKEY_LOCAL_MACHINE, path) || (removal.entryExists && !removal.entryOurs) || anotherInstallNamed()) {
        return false;
    }
    char version[kTextSize];
    bool versionKey = removal.entryVersion[0] && isPlainFolderName(removal.entryVersion) &&
                      formatText(version, sizeof version, "%s\\%s", path, removal.entryVersion) &&
                      isEmptyKey(HKEY_LOCAL_MACHINE, version);
    if (!versionKey && !isEmptyKey(HKEY_LOCAL_MACHINE, path)) return false;
    if (!apply || !proceed()) return true;
    if (versionKey) removeEmptyKeys(HKEY_LOCAL_MACHINE, version, 2);
    else removeEmptyKeys(HKEY_LOCAL_MACHINE, path, 1);
    return true;
}
