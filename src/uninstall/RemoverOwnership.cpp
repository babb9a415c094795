// Which install the run acts on, and whether the calling program belongs to
// it: the manifest found from the program's path, the names the installer
// formed, the uninstall entry's word on the folder.
#include "common/Format.h"
#include "common/SafeNames.h"
#include "common/Text.h"
#include "config/SetupConfig.h"
#include "registration/RegistryKey.h"
#include "registration/RegistryText.h"
#include "uninstall/RemoverParts.h"

namespace {

const WCHAR kManifestNameW[] = L"setup-uninstall.ini";

// How many folders above the program's own the manifest is looked for (the
// program may sit in a subfolder of the install folder).
constexpr int kSearchDepth = 8;

// A value of the manifest through the installer's own section chain,
// formatted as the installer formats it: ProgName and ProgVersion with no
// texts, ProgFile and ProgDir with ProgName, ProgVersion, ProgName.
bool readName(const char* language, const char* key, char* value, const char* const* args, size_t argCount) {
    char raw[kTextSize];
    if (!readChained(key, language, raw, sizeof raw, removal.manifest)) return false;
    convertLineBreaks(raw);
    formatDataText(value, kTextSize, raw, args, argCount);
    return true;
}

bool readNamesIn(const char* language) {
    if (!readName(language, "ProgName", removal.progName, nullptr, 0)) return false;
    if (!readName(language, "ProgVersion", removal.progVersion, nullptr, 0)) removal.progVersion[0] = '\0';
    const char* const args[] = {removal.progName, removal.progVersion, removal.progName};
    return readName(language, "ProgFile", removal.progFile, args, 3) &&
           readName(language, "ProgDir", removal.progDir, args, 3) && isSafeEntryName(removal.progDir) &&
           isSafeEntryName(removal.progFile);
}

// True when the install folder is the base folder, a backslash and ProgDir.
bool folderEndsWithProgDir() {
    WCHAR dir[kPathSize];
    if (!toWide(removal.progDir, dir, kPathSize)) return false;
    int folderLength = lstrlenW(removal.folderW);
    int dirLength = lstrlenW(dir);
    return dirLength + 1 < folderLength && removal.folderW[folderLength - dirLength - 1] == L'\\' &&
           CompareStringOrdinal(removal.folderW + folderLength - dirLength, dirLength, dir, dirLength, TRUE) ==
               CSTR_EQUAL;
}

// The uninstall entry of the names read last carries the ProgName the
// installer used as its DisplayName.
bool entryConfirmsNames() {
    readEntry();
    if (!removal.entryOurs) return false;
    char path[kTextSize];
    char displayName[kTextSize];
    RegistryKey key;
    return formatText(path, sizeof path, kUninstallKeyFormat, removal.progDir) &&
           key.open(HKEY_LOCAL_MACHINE, path, KEY_READ) == ERROR_SUCCESS &&
           queryTextValue(key, "DisplayName", displayName, sizeof displayName) &&
           sameTextIgnoringCase(displayName, removal.progName);
}

// The names under which the installer made the shortcuts, keys and folder:
// those of the language it ran in, which need not be the user's language
// now. Each language the manifest carries is tried, the user's first; the
// one whose ProgDir is this folder and whose ProgName the uninstall entry
// shows wins, else the first whose ProgDir is this folder.
bool readNames(const char* text, DWORD size) {
    chooseLanguage(removal.manifest, removal.language);
    char languages[kManifestLimit][3];
    int count = 0;
    copyText(languages[count++], 3, removal.language);
    copyText(languages[count++], 3, "EN");
    for (size_t offset = 0; offset + 4 <= size && count < kManifestLimit;) {
        const char* line = text + offset;
        if (line[0] == '[' && line[3] == ']' && (line[4] == '\r' || line[4] == '\n')) {
            languages[count][0] = line[1];
            languages[count][1] = line[2];
            languages[count++][2] = '\0';
        }
        while (offset < size && text[offset] != '\n') ++offset;
        ++offset;
    }
    int fallback = -1;
    for (int i = 0; i < count; ++i) {
        if (!readNamesIn(languages[i]) || !folderEndsWithProgDir()) continue;
        if (entryConfirmsNames()) return true;
        if (fallback < 0) fallback = i;
    }
    if (fallback < 0 || !readNamesIn(languages[fallback])) return false;
    readEntry();
    return true;
}

// The file type as the installer reads it: Type, then Extension.
void readFileType() {
    removal.type[0] = removal.extension[0] = '\0';
    if (readIniString("FileType", "Type", installState.empty, removal.type, kTextSize, removal.manifest)) {
        readIniString("FileType", "Extension", installState.empty, removal.extension, kTextSize, removal.manifest);
    }
    convertLineBreaks(removal.type);
    convertLineBreaks(removal.extension);
}

// The manifest in the program's folder or one above it; the install folder
// is where it lies. A candidate that does not fit a path is passed over:
// the folders above are shorter.
bool locate() {
    if (!canonicalPath(removal.request->programPath, removal.programW)) return false;
    WCHAR folder[kPathSize];
    lstrcpynW(folder, removal.programW, kPathSize);
    for (int depth = 0; depth <= kSearchDepth; ++depth) {
        WCHAR* slash = lastSeparator(folder);
        if (!slash) return false;
        *slash = L'\0';
        WCHAR candidate[kPathSize];
        if (!joinWide(candidate, folder, kManifestNameW)) continue;
        DWORD attributes = GetFileAttributesW(candidate);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        return copyWide(removal.folderW, kPathSize, folder) && copyWide(removal.manifestW, kPathSize, candidate) &&
               toAnsi(folder, removal.folder, kPathSize) && toAnsi(candidate, removal.manifest, kPathSize);
    }
    return false;
}

}  // namespace

bool findInstall(ManifestStore& store) {
    if (!locate()) return false;
    DWORD shortLength = GetShortPathNameW(removal.folderW, removal.shortFolderW, kPathSize);
    if (shortLength == 0 || shortLength >= kPathSize) removal.shortFolderW[0] = L'\0';
    const char* texts[kManifestLimit] = {};
    DWORD sizes[kManifestLimit] = {};
    if (!readManifests(store, texts, sizes) || !readNames(texts[0], sizes[0])) return false;
    readFileType();
    return readLists(store, texts, sizes);
}

bool programBelongs() {
    if (removal.entryExists && !removal.entryOurs) return false;
    for (size_t i = 0; i < removal.listedCount; ++i) {
        WCHAR path[kPathSize];
        if (!removal.listed[i].folder && pathOf(removal.listed[i], path) && isProgram(path)) return true;
    }
    return false;
}

bool installFolderIsLink() {
    DWORD attributes = GetFileAttributesW(removal.folderW);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
