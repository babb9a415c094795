// The install's manifests and their lists: the current manifest and the
// record of every version installed there before (setup-uninstall.<id>.ini),
// read whole; their [Files] names in one list, each with its [Records] line
// when it has one.
#include <string.h>

#include "common/Scoped.h"
#include "uninstall/ManifestFiles.h"
#include "uninstall/RemoverParts.h"

namespace {

// A manifest lists the files of one program: far below this.
constexpr DWORD kManifestBytesLimit = 16u << 20;

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

bool readManifests(ManifestStore& store, const char* texts[], DWORD sizes[]) {
    findVersionManifests();
    for (int m = 0; m < removal.manifestCount; ++m) texts[m] = readManifest(store, removal.manifestsW[m], sizes[m]);
    return texts[0] && ManifestFiles(texts[0], sizes[0]).found();
}

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
