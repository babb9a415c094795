// Which install the run acts on, and whether the calling program belongs to
// it. Every path is made canonical (full, long form, no trailing backslash)
// and compared as the file system compares names: ordinal, ignoring case.
#include <string.h>

#include "common/Format.h"
#include "common/SafeNames.h"
#include "common/Scoped.h"
#include "common/Text.h"
#include "config/SetupConfig.h"
#include "registration/RegistryKey.h"
#include "registration/RegistryText.h"
#include "uninstall/ManifestFiles.h"
#include "uninstall/RemoverParts.h"

namespace {

const WCHAR kManifestNameW[] = L"setup-uninstall.ini";

// A manifest lists the files of one program: far below this.
constexpr DWORD kManifestBytesLimit = 16u << 20;
// How many folders above the program's own the manifest is looked for (the
// program may sit in a subfolder of the install folder).
constexpr int kSearchDepth = 8;

int wideLength(const WCHAR* text) { return lstrlenW(text); }

bool copyWide(WCHAR* out, int size, const WCHAR* text) {
    if (wideLength(text) >= size) return false;
    lstrcpynW(out, text, size);
    return true;
}

// "<folder>\<name>" into `out`; false when it does not fit.
bool joinWide(WCHAR (&out)[kPathSize], const WCHAR* folder, const WCHAR* name) {
    int used = wideLength(folder);
    if (used + 1 + wideLength(name) >= static_cast<int>(kPathSize)) return false;
    lstrcpynW(out, folder, kPathSize);
    out[used] = L'\\';
    lstrcpynW(out + used + 1, name, kPathSize - used - 1);
    return true;
}

WCHAR* lastSeparator(WCHAR* path) {
    WCHAR* last = nullptr;
    for (WCHAR* p = path; *p; ++p) {
        if (*p == L'\\') last = p;
    }
    return last;
}

// Reads one manifest whole into the store; null when it is not a plain file
// or not readable.
const char* readManifest(ManifestStore& store, const WCHAR* path, DWORD& size) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return nullptr;
    }
    ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    if (!file.isValid()) return nullptr;
    DWORD high = 0;
    size = GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > kManifestBytesLimit) return nullptr;
    char* bytes = static_cast<char*>(store.allocate(size + 1));
    DWORD got = 0;
    if (!bytes || !ReadFile(file.get(), bytes, size, &got, nullptr) || got != size) return nullptr;
    bytes[size] = '\0';
    return bytes;
}

// The current manifest, then the records of earlier versions beside it.
void findVersionManifests() {
    removal.manifestCount = 0;
    if (!copyWide(removal.manifestsW[removal.manifestCount++], kPathSize, removal.manifestW)) return;
    WCHAR pattern[kPathSize];
    if (!joinWide(pattern, removal.folderW, L"setup-uninstall.*.ini")) return;
    WIN32_FIND_DATAW found;
    ScopedFind find(FindFirstFileW(pattern, &found));
    if (!find.isValid()) return;
    do {
        char name[MAX_PATH];
        if (!toAnsi(found.cFileName, name, sizeof name) || !isVersionManifestName(name, lstrlenA(name))) continue;
        if (removal.manifestCount == kManifestLimit) return;
        if (joinWide(removal.manifestsW[removal.manifestCount], removal.folderW, found.cFileName)) {
            ++removal.manifestCount;
        }
    } while (FindNextFileW(find.get(), &found));
}

// The [Records] line of `name` in one manifest's text, if it has one.
bool recordOf(const char* text, size_t size, const char* name, size_t length, ManifestRecord& record) {
    ManifestFiles records(text, size, "records");
    const char* line = nullptr;
    size_t lineLength = 0;
    while (records.next(line, lineLength)) {
        if (parseRecord(line, lineLength, record) && record.length == length &&
            memcmp(record.name, name, length) == 0) {
            return true;
        }
    }
    return false;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A name's hash, ignoring the case of ASCII letters, as the list compares
// names; folders and files apart.
DWORD nameHash(const Listed& entry) {
    DWORD hash = entry.folder ? 2166136261u : 2166136262u;
    for (size_t i = 0; i < entry.length; ++i) hash = (hash ^ static_cast<unsigned char>(lowerAscii(entry.name[i]))) * 16777619u;
    return hash;
}

bool sameEntry(const Listed& a, const Listed& b) {
    if (a.folder != b.folder || a.length != b.length) return false;
    for (size_t i = 0; i < a.length; ++i) {
        if (lowerAscii(a.name[i]) != lowerAscii(b.name[i])) return false;
    }
    return true;
}

// Marks each entry whose name an earlier one has (the same file listed by
// several versions' manifests), through a table of `slots` entry numbers.
void markRepeated(size_t* table, size_t slots) {
    for (size_t s = 0; s < slots; ++s) table[s] = removal.listedCount;
    for (size_t i = 0; i < removal.listedCount; ++i) {
        Listed& entry = removal.listed[i];
        size_t slot = nameHash(entry) % slots;
        while (table[slot] != removal.listedCount && !sameEntry(removal.listed[table[slot]], entry)) {
            slot = (slot + 1) % slots;
        }
        entry.repeated = table[slot] != removal.listedCount;
        if (!entry.repeated) table[slot] = i;
    }
}

// Every manifest's names into one list; names that would lead out of the
// install folder are left out (never touched).
bool readLists(ManifestStore& store, const char* texts[], const DWORD sizes[]) {
    size_t count = 0;
    for (int m = 0; m < removal.manifestCount; ++m) {
        if (!texts[m]) continue;
        ManifestFiles files(texts[m], sizes[m]);
        const char* name = nullptr;
        size_t length = 0;
        while (files.next(name, length)) ++count;
    }
    removal.listed = static_cast<Listed*>(store.allocate(sizeof(Listed) * (count + 1)));
    if (!removal.listed) return false;
    removal.listedCount = 0;
    for (int m = 0; m < removal.manifestCount; ++m) {
        if (!texts[m]) continue;
        ManifestFiles files(texts[m], sizes[m]);
        const char* name = nullptr;
        size_t length = 0;
        while (files.next(name, length)) {
            if (!isSafeManifestName(name, length)) continue;
            Listed& entry = removal.listed[removal.listedCount++];
            entry.name = name;
            entry.folder = name[length - 1] == '\\';
            entry.length = entry.folder ? length - 1 : length;
            ManifestRecord record;
            entry.recorded = !entry.folder && recordOf(texts[m], sizes[m], name, length, record);
            entry.size = entry.recorded ? record.size : 0;
            entry.writeTime = entry.recorded ? record.writeTime : 0;
        }
    }
    size_t slots = 2 * removal.listedCount + 1;
    size_t* table = static_cast<size_t*>(store.allocate(sizeof(size_t) * slots));
    if (!table) return false;
    markRepeated(table, slots);
    return true;
}

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
    int folderLength = wideLength(removal.folderW);
    int dirLength = wideLength(dir);
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

ManifestStore::~ManifestStore() {
    for (int i = 0; i < count_; ++i) HeapFree(GetProcessHeap(), 0, blocks_[i]);
}

void* ManifestStore::allocate(SIZE_T size) {
    if (count_ == kManifestLimit + 2) return nullptr;
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (block) blocks_[count_++] = block;
    return block;
}

bool toAnsi(const WCHAR* text, char* out, int size) {
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, size, nullptr, &lossy);
    return length > 0 && !lossy;
}

bool toWide(const char* text, WCHAR* out, int size) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) > 0;
}

bool canonicalPath(const WCHAR* path, WCHAR (&out)[kPathSize]) {
    WCHAR full[kPathSize];
    DWORD length = GetFullPathNameW(path, kPathSize, full, nullptr);
    if (length == 0 || length >= kPathSize) return false;
    length = GetLongPathNameW(full, out, kPathSize);
    if (length >= kPathSize) return false;
    if (length == 0) {
        // Gone already, or a parent spelled short that does not exist: the
        // long form of the longest part that exists, and the rest as given.
        WCHAR head[kPathSize];
        lstrcpynW(head, full, kPathSize);
        WCHAR* cut = lastSeparator(head);
        if (!cut || cut - head < 3) return copyWide(out, kPathSize, full);
        *cut = L'\0';
        WCHAR longHead[kPathSize];
        if (!canonicalPath(head, longHead)) return false;
        if (!joinWide(out, longHead, full + (cut - head) + 1)) return false;
    }
    int end = wideLength(out);
    if (end > 3 && out[end - 1] == L'\\') out[end - 1] = L'\0';
    return true;
}

bool samePath(const WCHAR* a, const WCHAR* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

bool isInsideInstall(const WCHAR* path) {
    const WCHAR* const folders[] = {removal.folderW, removal.shortFolderW};
    for (const WCHAR* folder : folders) {
        int length = wideLength(folder);
        if (length > 0 && wideLength(path) > length && path[length] == L'\\' &&
            CompareStringOrdinal(path, length, folder, length, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// A value names this install when a path in it (a quoted part, or the text
// from a drive letter up to a comma or a quote) lies inside the install
// folder once made canonical.
bool namesThisInstall(const char* value) {
    WCHAR wideValue[kTextSize];
    if (!toWide(value, wideValue, kTextSize)) return false;
    for (const WCHAR* p = wideValue; *p; ++p) {
        bool drive = p[1] == L':' && (p[2] == L'\\' || p[2] == L'/');
        bool unc = p[0] == L'\\' && p[1] == L'\\';
        if (!drive && !unc) continue;
        WCHAR candidate[kPathSize];
        int length = 0;
        while (p[length] && p[length] != L'"' && p[length] != L',' && length + 1 < static_cast<int>(kPathSize)) {
            candidate[length] = p[length];
            ++length;
        }
        candidate[length] = L'\0';
        WCHAR canonical[kPathSize];
        if (canonicalPath(candidate, canonical) && isInsideInstall(canonical)) return true;
        p += length > 0 ? length - 1 : 0;
    }
    return false;
}

bool pathOf(const Listed& entry, WCHAR (&path)[kPathSize]) {
    int used = wideLength(removal.folderW);
    if (used + 2 >= static_cast<int>(kPathSize)) return false;
    lstrcpynW(path, removal.folderW, kPathSize);
    path[used++] = L'\\';
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, entry.name, static_cast<int>(entry.length),
                                     path + used, static_cast<int>(kPathSize) - used - 1);
    if (length <= 0) return false;
    path[used + length] = L'\0';
    return true;
}

bool isProgram(const WCHAR* path) { return samePath(path, removal.programW); }

bool isManifest(const WCHAR* path) {
    for (int i = 0; i < removal.manifestCount; ++i) {
        if (samePath(path, removal.manifestsW[i])) return true;
    }
    return false;
}

bool findInstall(ManifestStore& store) {
    if (!locate()) return false;
    DWORD shortLength = GetShortPathNameW(removal.folderW, removal.shortFolderW, kPathSize);
    if (shortLength == 0 || shortLength >= kPathSize) removal.shortFolderW[0] = L'\0';
    findVersionManifests();
    const char* texts[kManifestLimit] = {};
    DWORD sizes[kManifestLimit] = {};
    for (int m = 0; m < removal.manifestCount; ++m) texts[m] = readManifest(store, removal.manifestsW[m], sizes[m]);
    if (!texts[0] || !ManifestFiles(texts[0], sizes[0]).found()) return false;
    if (!readNames(texts[0], sizes[0])) return false;
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
