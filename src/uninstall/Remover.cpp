#include "uninstall/Remover.h"

#include <objbase.h>
#include <shlobj.h>

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/SafeNames.h"
#include "common/Scoped.h"
#include "common/Text.h"
#include "config/SetupConfig.h"
#include "deploy/FileOps.h"
#include "registration/RegistryKey.h"
#include "registration/RegistryText.h"
#include "registration/Shortcuts.h"
#include "uninstall/ManifestFiles.h"
#include "uninstall/setup-uninstall.h"

namespace {

const char kManifestName[] = "setup-uninstall.ini";
const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kAppPathsRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kVendorRoot[] = "SOFTWARE\\QRB";

// A manifest lists the files of one program: far below this.
constexpr DWORD kManifestLimit = 16u << 20;
// How many folders above the program's own the manifest is looked for (the
// program may sit in a subfolder of the install folder).
constexpr int kSearchDepth = 8;
// How long the program gets to end before the user is asked (or, quiet, the
// run gives up).
constexpr DWORD kWaitMs = 30000;
constexpr DWORD kQuietWaitMs = 120000;

// The texts of the uninstaller: keys of the manifest's language sections
// (copied from the setup INI), with English fallbacks. Like the installer's
// texts, each is a format with ProgName, ProgVersion, ProgName.
enum Message { Caption, Confirm, Done, Kept, FileFailed, Incomplete, Nothing, StillRunning, MessageCount };
const char* const kMessageKeys[MessageCount][2] = {
    {"Uninstall", "Uninstall %s"},
    {"UninstallConfirm", "Do you want to remove %s from this computer?\\n\\nYour documents are kept."},
    {"UninstallDone", "%s has been removed from this computer."},
    {"UninstallKept",
     "%s has been removed. Its folder was kept because it holds files that the installation did not put "
     "there (files you or the program made):"},
    {"UninstallFileFailed", "A file could not be removed. Close %s and any program that uses the file, then click "
                            "Retry."},
    {"UninstallIncomplete", "%s has not been removed completely. Uninstall it again to finish."},
    {"UninstallNothing", "%s is not installed here any more: there is nothing to remove."},
    {"UninstallRunning", "%s is still running. Close it, then click Retry."},
};

// The shell's link object and its two interfaces, defined here so that the
// helper does not take the system's whole table of identifiers with it.
const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const char kNoManifest[] =
    "The uninstall information of this program (setup-uninstall.ini) is missing or damaged.\n\n"
    "Nothing has been removed.";

// A block of the process heap, allocated once its size is known.
class HeapBlock {
public:
    HeapBlock() : block_(nullptr) {}
    ~HeapBlock() {
        if (block_) HeapFree(GetProcessHeap(), 0, block_);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    bool allocate(SIZE_T size) { return (block_ = HeapAlloc(GetProcessHeap(), 0, size)) != nullptr; }
    void* get() const { return block_; }

private:
    void* block_;
};

// One name of the manifest's list.
struct Listed {
    const char* name;  // UTF-8, not terminated
    size_t length;
    bool folder;
};

// What the run knows about the install. One per process, like the
// installer's InstallState.
struct Install {
    const RemoverRequest* request;
    HANDLE reportPipe;           // until the early result is sent
    WCHAR programW[kPathSize];   // the program's path in its long form
    char program[kPathSize];     // the same, ANSI
    char folder[kPathSize];      // the install folder, ANSI, no trailing backslash
    WCHAR folderW[kPathSize];
    char manifest[kPathSize];
    WCHAR manifestW[kPathSize];
    char language[3];
    char progName[kTextSize];
    char progVersion[kTextSize];
    char progFile[kTextSize];
    char progDir[kTextSize];
    char type[kTextSize];
    char extension[kTextSize];
    char messages[MessageCount][kTextSize];
    Listed* listed;
    size_t listedCount;
    bool entryExists;            // Uninstall\<ProgDir> exists
    bool entryOurs;              // ... and its InstallLocation is this install folder
    bool typeRemoved;
};
Install install;

// --- Texts and messages.

bool toAnsi(const WCHAR* text, char* out, int size) {
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, size, nullptr, &lossy);
    return length > 0 && !lossy;
}

bool toWide(const char* text, WCHAR* out, int size) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) > 0;
}

// A value of the manifest through the installer's own section chain.
bool readName(const char* key, char* value) {
    char raw[kTextSize];
    if (!readChained(key, install.language, raw, sizeof raw, install.manifest)) return false;
    convertLineBreaks(raw);
    formatDataText(value, kTextSize, raw, nullptr, 0);
    return true;
}

void readMessages() {
    const char* const args[] = {install.progName, install.progVersion, install.progName};
    for (int i = 0; i < MessageCount; ++i) {
        char raw[kTextSize];
        if (!readChained(kMessageKeys[i][0], install.language, raw, sizeof raw, install.manifest)) {
            copyText(raw, sizeof raw, kMessageKeys[i][1]);
        }
        convertLineBreaks(raw);
        formatDataText(install.messages[i], kTextSize, raw, args, 3);
    }
}

int show(UINT type, const char* text) {
    return MessageBoxA(nullptr, text, install.messages[Caption], type | MB_SETFOREGROUND);
}

void tell(Message message, UINT icon) {
    if (!install.request->quiet) show(MB_OK | icon, install.messages[message]);
}

// "<message>\n\n<detail>", cut if it must be: it is only shown.
void tellWithDetail(Message message, const char* detail, UINT type, int* answer) {
    char text[2 * kTextSize];
    formatText(text, sizeof text, "%s\n\n%s", install.messages[message], detail);
    int result = install.request->quiet ? IDCANCEL : show(type, text);
    if (answer) *answer = result;
}

void report(int result) {
    HANDLE pipe = install.reportPipe;
    if (!pipe) return;
    install.reportPipe = nullptr;
    DWORD value = static_cast<DWORD>(result);
    DWORD written = 0;
    WriteFile(pipe, &value, sizeof value, &written, nullptr);
    CloseHandle(pipe);
}

// --- Finding the install.

// The manifest in the program's folder or one above it; the install folder
// is where it lies.
bool locate() {
    // The long form, as the installer wrote the install folder's path: the
    // program may have been started by its short (8.3) name. A path that
    // does not fit is no path of this install, never a cut one.
    DWORD length = GetLongPathNameW(install.request->programPath, install.programW, kPathSize);
    if (length >= kPathSize) return false;
    if (length == 0) {
        if (lstrlenW(install.request->programPath) >= static_cast<int>(kPathSize)) return false;
        lstrcpynW(install.programW, install.request->programPath, kPathSize);
    }
    if (!toAnsi(install.programW, install.program, kPathSize)) return false;
    if (!copyText(install.folder, kPathSize, install.program)) return false;
    for (int depth = 0; depth <= kSearchDepth; ++depth) {
        char* slash = findLastBackslash(install.folder);
        if (!slash) return false;
        *slash = '\0';
        if (!formatText(install.manifest, kPathSize, "%s\\%s", install.folder, kManifestName)) return false;
        if (isExistingFile(install.manifest)) {
            return toWide(install.folder, install.folderW, kPathSize) &&
                   toWide(install.manifest, install.manifestW, kPathSize);
        }
    }
    return false;
}

// The names as the installer formed them, and the check that the folder is
// the one the installer names: the base folder, a backslash and ProgDir.
bool readNames() {
    chooseLanguage(install.manifest, install.language);
    if (!readName("ProgName", install.progName) || !readName("ProgFile", install.progFile) ||
        !readName("ProgDir", install.progDir)) {
        return false;
    }
    if (!readName("ProgVersion", install.progVersion)) install.progVersion[0] = '\0';
    if (!isSafeEntryName(install.progDir) || !isSafeEntryName(install.progFile)) return false;
    int folderLength = lstrlenA(install.folder);
    int dirLength = lstrlenA(install.progDir);
    if (dirLength + 1 >= folderLength || install.folder[folderLength - dirLength - 1] != '\\' ||
        !sameTextIgnoringCase(install.folder + folderLength - dirLength, dirLength, install.progDir, dirLength)) {
        return false;
    }
    // The file type as the installer reads it: Type, then Extension.
    install.type[0] = install.extension[0] = '\0';
    if (readIniString("FileType", "Type", installState.empty, install.type, kTextSize, install.manifest)) {
        readIniString("FileType", "Extension", installState.empty, install.extension, kTextSize, install.manifest);
    }
    convertLineBreaks(install.type);
    convertLineBreaks(install.extension);
    return true;
}

// Reads the manifest and its name list into `bytes` and `names`; names that
// would lead out of the install folder are left out (never touched).
bool readList(HeapBlock& bytes, HeapBlock& names) {
    ScopedHandle file(CreateFileW(install.manifestW, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.isValid()) return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > kManifestLimit) return false;
    DWORD got = 0;
    if (!bytes.allocate(size + 1) || !ReadFile(file.get(), bytes.get(), size, &got, nullptr) || got != size) {
        return false;
    }
    const char* text = static_cast<const char*>(bytes.get());

    ManifestFiles files(text, size);
    if (!files.found()) return false;
    size_t count = 0;
    const char* name = nullptr;
    size_t length = 0;
    while (files.next(name, length)) ++count;
    if (!names.allocate(sizeof(Listed) * (count + 1))) return false;
    install.listed = static_cast<Listed*>(names.get());
    install.listedCount = 0;
    files.rewind();
    while (files.next(name, length)) {
        if (!isSafeManifestName(name, length)) continue;
        Listed& entry = install.listed[install.listedCount++];
        entry.name = name;
        entry.folder = name[length - 1] == '\\';
        entry.length = entry.folder ? length - 1 : length;
    }
    return true;
}

// The full path of a listed name; false when it does not fit.
bool pathOf(const Listed& entry, WCHAR (&path)[kPathSize]) {
    int used = lstrlenW(install.folderW);
    if (used + 2 >= static_cast<int>(kPathSize)) return false;
    lstrcpynW(path, install.folderW, kPathSize);
    path[used++] = L'\\';
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, entry.name, static_cast<int>(entry.length),
                                     path + used, static_cast<int>(kPathSize) - used - 1);
    if (length <= 0) return false;
    path[used + length] = L'\0';
    return true;
}

bool sameFile(const WCHAR* a, const WCHAR* b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

// True when the manifest lists the program that asked for the removal.
bool listsProgram() {
    for (size_t i = 0; i < install.listedCount; ++i) {
        WCHAR path[kPathSize];
        if (!install.listed[i].folder && pathOf(install.listed[i], path) &&
            sameFile(path, install.programW)) {
            return true;
        }
    }
    return false;
}

bool isManifest(const WCHAR* path) { return sameFile(path, install.manifestW); }
bool isProgram(const WCHAR* path) { return sameFile(path, install.programW); }

DWORD attributesOf(const WCHAR* path) { return GetFileAttributesW(path); }
bool fileExists(const WCHAR* path) {
    DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool removeFile(const WCHAR* path) {
    DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    // Gone, not only said to be: Wine's DeleteFile reports success for a
    // delete that the folder's permissions refused.
    return (DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND) && attributesOf(path) == INVALID_FILE_ATTRIBUTES;
}

// Removes an empty folder. A folder customised with a Desktop.INI is a
// system (or read-only) folder, which the platform may refuse to remove:
// those bits go first, and come back when the folder stays (not empty).
void removeFolder(const WCHAR* path) {
    DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    DWORD marks = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    if (marks) SetFileAttributesW(path, attributes & ~marks);
    if (!RemoveDirectoryW(path) && marks) SetFileAttributesW(path, attributes);
}

// --- The registry.

bool readValue(HKEY root, const char* path, const char* name, char* value) {
    RegistryKey key;
    if (key.open(root, path, KEY_READ) != ERROR_SUCCESS) return false;
    return queryTextValue(key, name, value, kTextSize);
}

bool keyExists(HKEY root, const char* path) {
    RegistryKey key;
    return key.open(root, path, KEY_READ) == ERROR_SUCCESS;
}

// Deletes the key at `path` with everything below it.
void deleteKey(HKEY root, const char* path) {
    char parent[kTextSize];
    if (!copyText(parent, sizeof parent, path)) return;
    char* slash = findLastBackslash(parent);
    RegistryKey key;
    if (slash) *slash = '\0';
    if (key.open(root, slash ? parent : nullptr, kKeyAllAccess) == ERROR_SUCCESS) {
        key.deleteSubTree(slash ? slash + 1 : path);
    }
}

// True when `value` (a path, a command, an icon location) names something
// inside the install folder: the folder's path followed by a backslash.
bool namesThisInstall(const char* value) {
    int folderLength = lstrlenA(install.folder);
    for (const char* p = value; *p; p = CharNextA(p)) {
        if (lstrlenA(p) <= folderLength) return false;
        if (p[folderLength] == '\\' && sameTextIgnoringCase(p, folderLength, install.folder, folderLength)) return true;
    }
    return false;
}

void readEntry() {
    char path[kTextSize];
    char location[kTextSize];
    install.entryExists = install.entryOurs = false;
    if (!formatText(path, sizeof path, "%s\\%s", kUninstallRoot, install.progDir)) return;
    install.entryExists = keyExists(HKEY_LOCAL_MACHINE, path);
    install.entryOurs = readValue(HKEY_LOCAL_MACHINE, path, "InstallLocation", location) &&
                        sameTextIgnoringCase(location, install.folder);
}

// Another uninstall entry (another ProgDir) with this DisplayName: another
// install of a program of the same name, which shares the vendor key.
bool anotherInstallNamed() {
    RegistryKey root;
    if (root.open(HKEY_LOCAL_MACHINE, kUninstallRoot, KEY_READ) != ERROR_SUCCESS) return false;
    char name[256];
    for (DWORD i = 0; root.enumerateSubKey(i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        if (sameTextIgnoringCase(name, install.progDir)) continue;
        char path[kTextSize];
        char displayName[kTextSize];
        if (formatText(path, sizeof path, "%s\\%s", kUninstallRoot, name) &&
            readValue(HKEY_LOCAL_MACHINE, path, "DisplayName", displayName) &&
            sameTextIgnoringCase(displayName, install.progName)) {
            return true;
        }
    }
    return false;
}

// Each step below finds what of the install is there, removes it when
// `apply` is set, and says whether it found anything.

// The document file type, only while it still names this install: the type
// key by its open command (by its icon when it has no command); the
// extension key while it names that type and the type is this install's or
// gone.
bool typeNamesThisInstall() {
    char path[kTextSize];
    char value[kTextSize];
    if (formatText(path, sizeof path, "%s\\Shell\\open\\command", install.type) &&
        readValue(HKEY_CLASSES_ROOT, path, nullptr, value) && value[0]) {
        return namesThisInstall(value);
    }
    return formatText(path, sizeof path, "%s\\DefaultIcon", install.type) &&
           readValue(HKEY_CLASSES_ROOT, path, nullptr, value) && namesThisInstall(value);
}

bool fileTypeStep(bool apply) {
    if (!install.type[0] || install.extension[0] != '.') return false;
    char value[kTextSize];
    bool typeExists = keyExists(HKEY_CLASSES_ROOT, install.type);
    bool typeOurs = typeExists && typeNamesThisInstall();
    bool extensionOurs = (typeOurs || !typeExists) && readValue(HKEY_CLASSES_ROOT, install.extension, nullptr, value) &&
                         sameTextIgnoringCase(value, install.type);
    if (apply && typeOurs) deleteKey(HKEY_CLASSES_ROOT, install.type);
    if (apply && extensionOurs) deleteKey(HKEY_CLASSES_ROOT, install.extension);
    if (apply && (typeOurs || extensionOurs)) install.typeRemoved = true;
    return typeOurs || extensionOurs;
}

// The App Paths entry, while it points into this install.
bool appPathStep(bool apply) {
    char path[kTextSize];
    char value[kTextSize];
    if (!formatText(path, sizeof path, "%s\\%s.exe", kAppPathsRoot, install.progFile) ||
        !readValue(HKEY_LOCAL_MACHINE, path, nullptr, value) || !namesThisInstall(value)) {
        return false;
    }
    if (apply) deleteKey(HKEY_LOCAL_MACHINE, path);
    return true;
}

// SOFTWARE\QRB\<ProgName> with its version subkeys: only this ProgName's key
// (a name that is not one plain key name is left alone), and only while no
// other install owns it: the uninstall entry of this ProgDir names another
// folder, or another entry carries the same name.
bool vendorStep(bool apply) {
    char path[kTextSize];
    if (!isPlainFolderName(install.progName) ||
        !formatText(path, sizeof path, "%s\\%s", kVendorRoot, install.progName) ||
        !keyExists(HKEY_LOCAL_MACHINE, path) || (install.entryExists && !install.entryOurs) || anotherInstallNamed()) {
        return false;
    }
    if (apply) deleteKey(HKEY_LOCAL_MACHINE, path);
    return true;
}

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

// The Programs-menu shortcut (and its folder once empty) and the Desktop
// shortcut, each while it points into this install. The folder is named by
// ProgName: one that is not a plain folder name (only an edited manifest
// carries such a name; the installer refuses it) could name another folder,
// so the Programs menu is then left alone.
bool shortcutsStep(bool apply) {
    HRESULT initialised = CoInitialize(nullptr);
    if (initialised != S_OK && initialised != S_FALSE) return false;
    bool found = false;
    char folder[kPathSize];
    char group[kPathSize];
    char link[kPathSize];
    if (isPlainFolderName(install.progName) && getProgramsFolder(folder) &&
        formatText(group, sizeof group, "%s\\%s", folder, install.progName) &&
        formatText(link, sizeof link, "%s\\%s.lnk", group, install.progName)) {
        if (shortcutTargetsThisInstall(link)) {
            found = true;
            if (apply) deleteFile(link);
        }
        if (apply) RemoveDirectoryA(group);  // only when empty
    }
    if (getDesktopFolder(folder) && formatText(link, sizeof link, "%s\\%s.lnk", folder, install.progName) &&
        shortcutTargetsThisInstall(link)) {
        found = true;
        if (apply) deleteFile(link);
    }
    CoUninitialize();
    return found;
}

// The listed files but the program's own and the manifest; a file that
// cannot go now (in use) is tried again after the program has ended.
bool filesStep(bool apply) {
    bool found = false;
    for (size_t i = install.listedCount; i-- > 0;) {
        WCHAR path[kPathSize];
        if (install.listed[i].folder || !pathOf(install.listed[i], path) || isManifest(path) || isProgram(path) ||
            !fileExists(path)) {
            continue;
        }
        found = true;
        if (apply) removeFile(path);
    }
    return found;
}

// --- What stays in the install folder.

bool isListed(const char* name, size_t length, bool folder) {
    for (size_t i = 0; i < install.listedCount; ++i) {
        const Listed& entry = install.listed[i];
        if (entry.folder != folder || entry.length != length) continue;
        if (sameTextIgnoringCase(entry.name, static_cast<int>(length), name, static_cast<int>(length))) return true;
    }
    return false;
}

// True when the folder `path` (relative name `relative`, UTF-8, "" for the
// install folder) holds anything the list does not name.
bool holdsUnlisted(const WCHAR* path, const char* relative) {
    WCHAR pattern[kPathSize];
    if (lstrlenW(path) + 3 >= static_cast<int>(kPathSize)) return true;
    lstrcpynW(pattern, path, kPathSize);
    lstrcatW(pattern, L"\\*");
    WIN32_FIND_DATAW entry;
    ScopedFind find(FindFirstFileW(pattern, &entry));
    if (!find.isValid()) return false;
    do {
        const WCHAR* name = entry.cFileName;
        bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
        char child[3 * kPathSize];
        int used = formatText(child, sizeof child, "%s%s", relative, relative[0] ? "\\" : "") ? lstrlenA(child) : -1;
        int length = used < 0 ? 0
                              : WideCharToMultiByte(CP_UTF8, 0, name, -1, child + used,
                                                    static_cast<int>(sizeof child) - used, nullptr, nullptr);
        if (length <= 0) return true;
        size_t childLength = static_cast<size_t>(used + length - 1);
        if (!isListed(child, childLength, folder)) {
            // The program's own file is removed with the install even when
            // another version's list does not name it.
            WCHAR full[kPathSize];
            bool program = !folder && lstrlenW(path) + lstrlenW(name) + 2 < static_cast<int>(kPathSize) &&
                           lstrcpynW(full, path, kPathSize) && lstrcatW(full, L"\\") && lstrcatW(full, name) &&
                           isProgram(full);
            if (!program) return true;
        }
        if (folder) {
            WCHAR childPath[kPathSize];
            if (lstrlenW(path) + lstrlenW(name) + 2 >= static_cast<int>(kPathSize)) return true;
            lstrcpynW(childPath, path, kPathSize);
            lstrcatW(childPath, L"\\");
            lstrcatW(childPath, name);
            if (holdsUnlisted(childPath, child)) return true;
        }
    } while (FindNextFileW(find.get(), &entry));
    return false;
}

// --- The end, once the program has ended.

bool waitForProgram() {
    const RemoverRequest& request = *install.request;
    if (request.waitCount == 0) return true;
    for (;;) {
        DWORD result = WaitForMultipleObjects(request.waitCount, request.waits, TRUE,
                                              request.quiet ? kQuietWaitMs : kWaitMs);
        if (result != WAIT_TIMEOUT) return true;  // ended (or not waitable: the removal will tell)
        if (request.quiet || show(MB_RETRYCANCEL | MB_ICONEXCLAMATION, install.messages[StillRunning]) != IDRETRY) {
            return false;
        }
    }
}

// Removes one file, asking to retry while it stays. false: it stays.
bool removeAsking(const WCHAR* path) {
    while (!removeFile(path)) {
        char shown[kPathSize];
        WideCharToMultiByte(CP_ACP, 0, path, -1, shown, sizeof shown, nullptr, nullptr);
        shown[kPathSize - 1] = '\0';
        int answer = IDCANCEL;
        tellWithDetail(FileFailed, shown, MB_RETRYCANCEL | MB_ICONEXCLAMATION, &answer);
        if (answer != IDRETRY) return false;
    }
    return true;
}

// Everything that is left, the program's files last, the manifest and the
// uninstall entry after them: until they go, "-u" can run again.
int finish() {
    bool complete = true;
    for (int pass = 0; pass < 2 && complete; ++pass) {
        for (size_t i = install.listedCount; i-- > 0;) {
            WCHAR path[kPathSize];
            if (install.listed[i].folder || !pathOf(install.listed[i], path) || isManifest(path) ||
                isProgram(path) != (pass == 1)) {
                continue;
            }
            if (!removeAsking(path)) complete = false;
        }
    }
    const WCHAR* program = install.programW;
    if (complete && fileExists(program) && !removeAsking(program)) complete = false;
    if (!complete) return SETUP_UNINSTALL_INCOMPLETE;

    for (size_t i = install.listedCount; i-- > 0;) {
        WCHAR path[kPathSize];
        if (install.listed[i].folder && pathOf(install.listed[i], path)) removeFolder(path);  // only when empty
    }
    if (!removeAsking(install.manifestW)) return SETUP_UNINSTALL_INCOMPLETE;
    removeFolder(install.folderW);
    if (install.entryOurs) {
        char path[kTextSize];
        if (formatText(path, sizeof path, "%s\\%s", kUninstallRoot, install.progDir)) {
            deleteKey(HKEY_LOCAL_MACHINE, path);
        }
    }
    return isDirectory(install.folder) ? SETUP_UNINSTALL_FOLDER_KEPT : SETUP_UNINSTALL_REMOVED;
}

int fail() {
    if (!install.request->quiet) MessageBoxA(nullptr, kNoManifest, "Uninstall", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return SETUP_UNINSTALL_FAILED;
}

// Everything after the manifest was read.
int removeInstall() {
    readEntry();
    // A manifest found above the program that neither lists it nor is named
    // by the uninstall entry is not this program's install.
    if (!install.entryOurs && !listsProgram()) return fail();
    readMessages();
    // Survey first: a run with nothing left says so and touches nothing.
    bool found = fileTypeStep(false) | appPathStep(false) | vendorStep(false) | shortcutsStep(false) |
                 filesStep(false) | install.entryOurs;
    if (!found) {
        tell(Nothing, MB_ICONINFORMATION);
        return SETUP_UNINSTALL_NOTHING;
    }
    if (!install.request->quiet && show(MB_YESNO | MB_ICONQUESTION, install.messages[Confirm]) != IDYES) {
        return SETUP_UNINSTALL_CANCELLED;
    }
    fileTypeStep(true);
    appPathStep(true);
    vendorStep(true);
    shortcutsStep(true);
    filesStep(true);
    if (install.typeRemoved) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    // What is left now is the running program's files, files in use, and
    // what the list does not name: the latter keep the folder.
    report(holdsUnlisted(install.folderW, "") ? SETUP_UNINSTALL_FOLDER_KEPT : SETUP_UNINSTALL_REMOVED);
    int result = waitForProgram() ? finish() : SETUP_UNINSTALL_INCOMPLETE;
    if (result == SETUP_UNINSTALL_FOLDER_KEPT) {
        tellWithDetail(Kept, install.folder, MB_OK | MB_ICONINFORMATION, nullptr);
    } else if (result == SETUP_UNINSTALL_REMOVED) {
        tell(Done, MB_ICONINFORMATION);
    } else {
        tell(Incomplete, MB_ICONEXCLAMATION);
    }
    return result;
}

}  // namespace

int runRemover(const RemoverRequest& request) {
    ZeroMemory(&install, sizeof install);  // a test may run it more than once
    install.request = &request;
    install.reportPipe = request.report;
    HeapBlock bytes;
    HeapBlock names;
    int result = locate() && readNames() && readList(bytes, names) ? removeInstall() : fail();
    report(result);  // unless the early result went already
    return result;
}
