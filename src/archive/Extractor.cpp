#include "archive/Extractor.h"

#include <string.h>
#include <zlib.h>

#include "archive/ArchiveFormat.h"
#include "common/Format.h"
#include "common/InstallState.h"
#include "common/MessagePump.h"
#include "common/Scoped.h"
#include "deploy/FileOps.h"
#include "res/resource.h"

namespace {

constexpr uint32_t kOutputBufferSize = 8192;

// Entry names arrive in UTF-16 of at most this many units; longer ones could
// never fit a 260-byte path.
constexpr int kWideNameCapacity = 2 * kPathSize;

bool isSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }

WCHAR upper(WCHAR c) { return c >= L'a' && c <= L'z' ? static_cast<WCHAR>(c - L'a' + L'A') : c; }

const char* const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};

// True when the `length` characters at `text` spell `word`, ignoring case.
bool spells(const WCHAR* text, size_t length, const char* word) {
    if (strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (upper(text[i]) != static_cast<WCHAR>(word[i])) return false;
    }
    return true;
}

// True when [begin, end) is a device name such as CON or LPT1, alone or
// followed by an extension or by blanks and dots: the platform opens the
// device instead of a file there.
bool isDeviceName(const WCHAR* begin, const WCHAR* end) {
    size_t length = 0;
    while (begin + length < end && begin[length] != L'.' && begin[length] != L' ') ++length;
    for (const char* device : kDeviceNames) {
        if (spells(begin, length, device)) return true;
    }
    // COM1 to COM9 and LPT1 to LPT9, also with a superscript digit.
    if (length != 4 || !(spells(begin, 3, "COM") || spells(begin, 3, "LPT"))) return false;
    WCHAR digit = begin[3];
    return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Checks one component [begin, end) of a path.
bool isSafeComponent(const WCHAR* begin, const WCHAR* end) {
    bool onlyDotsAndBlanks = true;
    for (const WCHAR* p = begin; p < end; ++p) {
        if (*p == L':') return false;
        if (*p != L'.' && *p != L' ') onlyDotsAndBlanks = false;
    }
    return begin != end && !onlyDotsAndBlanks && !isDeviceName(begin, end);
}

// The checks run on the name as the file system will see it: the ANSI text
// converted back to UTF-16. (A UTF-16 name converted to ANSI may gain
// separators and dots through best-fit mapping, so the original UTF-16 is
// not what counts.)
bool toWide(const char* name, WCHAR (&wide)[kWideNameCapacity]) {
    return MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kWideNameCapacity) != 0;
}

void showFailure(HWND owner, const char* text, const char* caption) {
    MessageBoxA(owner, text, caption, MB_OK);
}

// The entry's name in the ANSI code page, within `size` bytes.
bool decodeName(const ArchiveEntry& entry, bool wideNames, char* name, int size) {
    if (!wideNames) {
        if (entry.nameUnits >= static_cast<uint32_t>(size)) return false;
        memcpy(name, entry.name, entry.nameUnits + 1);
        return true;
    }
    // Copied first: the units in the archive need not be aligned.
    if (entry.nameUnits >= static_cast<uint32_t>(kWideNameCapacity)) return false;
    WCHAR wide[kWideNameCapacity];
    memcpy(wide, entry.name, (entry.nameUnits + 1) * sizeof(WCHAR));
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, name, size, nullptr, nullptr) != 0;
}

void setTimes(HANDLE file, const ArchiveEntry& entry) {
    FILETIME creation = {entry.creationTime.low, entry.creationTime.high};
    FILETIME access = {entry.lastAccessTime.low, entry.lastAccessTime.high};
    FILETIME write = {entry.lastWriteTime.low, entry.lastWriteTime.high};
    SetFileTime(file, &creation, &access, &write);
}

}  // namespace

bool isSafeEntryName(const char* name) {
    WCHAR wide[kWideNameCapacity];
    if (!toWide(name, wide) || wide[0] == L'\0' || isSeparator(wide[0])) return false;
    const WCHAR* begin = wide;
    for (const WCHAR* p = wide;; ++p) {
        if (*p != L'\0' && !isSeparator(*p)) continue;
        if (!isSafeComponent(begin, p)) return false;
        if (*p == L'\0') return true;
        begin = p + 1;
    }
}

bool isPlainFolderName(const char* name) {
    if (!isSafeEntryName(name)) return false;
    for (const char* p = name; *p; ++p) {
        if (static_cast<unsigned char>(*p) < 32 || strchr("\\/:*?\"<>|", *p)) return false;
    }
    // A trailing dot or blank would be dropped by the platform.
    size_t length = strlen(name);
    return name[length - 1] != '.' && name[length - 1] != ' ';
}

void createParentDirectories(char* path) {
    for (char* p = path; *p; p = CharNextA(p)) {
        if (*p != '\\') continue;
        *p = '\0';
        CreateDirectoryA(path, nullptr);
        *p = '\\';
    }
}

int EntryInflater::inflateToFile(HANDLE file, const uint8_t* packed, uint32_t packedSize,
                                 uint8_t* buffer, uint32_t bufferSize, uint32_t expectedSize) {
    static_assert(sizeof(z_stream) == 56, "the stream record zlib expects for version 1.2.2");
    z_stream stream;
    memset(&stream, 0, sizeof stream);  // zlib's own allocation routines
    stream.next_in = const_cast<Bytef*>(packed);
    stream.avail_in = packedSize;
    if (inflateInit_(&stream, "1.2.2", 56) != Z_OK) return 0;

    int success = 0;
    uint64_t written = 0;
    for (;;) {
        stream.next_out = buffer;
        stream.avail_out = bufferSize;
        int rc = inflate(&stream, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        DWORD produced = bufferSize - stream.avail_out;
        DWORD done = 0;
        if (!WriteFile(file, buffer, produced, &done, nullptr) || done != produced) break;
        written += produced;
        // A stream that decodes to more than it announced is wrong already:
        // stop rather than fill the disk.
        if (written > expectedSize) break;
        if (rc == Z_STREAM_END) {
            success = written == expectedSize;
            break;
        }
        pumpMessages();
    }
    inflateEnd(&stream);
    return success;
}

int ArchiveExtractor::extract(HWND owner, const uint8_t* archive, uint32_t size, const char* destination) {
    if (checkArchive(archive, size) != ArchiveCheck::Accepted) return 0;
    const bool wideNames = hasWideNames(archive);
    CreateDirectoryA(destination, nullptr);
    HeapBuffer buffer(kOutputBufferSize);
    if (!buffer.get()) return 0;

    int result = 1;
    ScopedHandle file;
    EntryWalker walker(archive, size, wideNames);
    ArchiveEntry entry;
    char name[kPathSize];
    char fullPath[kPathSize];
    for (bool first = true;; first = false) {
        EntryWalker::Step step = walker.next(entry);
        // The checksum starts from zero, so zero bytes put in front of the
        // first entry would not change it: an archive with contents must
        // begin with an entry.
        if (step == EntryWalker::End && first && size > kArchiveHeaderSize) step = EntryWalker::Malformed;
        if (step == EntryWalker::End) break;
        if (step == EntryWalker::Malformed) {
            result = 0;
            break;
        }
        // A name that does not fit, or that would lead outside the
        // destination, is refused before anything is created for it.
        if (!decodeName(entry, wideNames, name, sizeof name) || !isSafeEntryName(name) ||
            !formatText(fullPath, sizeof fullPath, "%s%s", destination, name)) {
            showFailure(owner, "Unable to create file.", name);
            result = 0;
            break;
        }
        createParentDirectories(fullPath);
        if (entry.isDirectory()) {
            CreateDirectoryA(fullPath, nullptr);
        } else {
            file.reset(CreateFileA(fullPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
            if (!file.isValid()) {
                showFailure(owner, "Unable to create file.", fullPath);
                result = 0;
                break;
            }
            EntryInflater inflater;
            if (!inflater.inflateToFile(file.get(), entry.packedData, entry.packedSizeLow, buffer.get(),
                                        kOutputBufferSize, entry.sizeLow)) {
                showFailure(owner, "Unable to expand into file.", fullPath);
                result = 0;
                break;
            }
            setTimes(file.get(), entry);
            file.reset();
        }
        SetFileAttributesA(fullPath, entry.attributes);
    }
    return result;
}

int extractPayload(HWND owner) {
    char staging[kPathSize];
    DWORD length = GetTempPathA(sizeof staging, staging);
    if (length == 0 || length >= sizeof staging) return 0;
    // ProgName becomes a folder of the temp folder that is removed whole
    // later: it must not be able to name anything else.
    const char* progName = setupString(Slot::ProgName);
    if (!isPlainFolderName(progName) || !appendText(staging, sizeof staging, progName) ||
        !appendText(staging, sizeof staging, "\\")) {
        return 0;
    }
    copyText(installState.stagingDir, kPathSize, staging);
    removeTree(installState.stagingDir);

    HRSRC resource = FindResourceExA(nullptr, RT_RCDATA, MAKEINTRESOURCEA(IDR_PAYLOAD), 0);
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const uint8_t* archive = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!archive) return 0;
    ArchiveExtractor extractor;
    return extractor.extract(owner, archive, SizeofResource(nullptr, resource), installState.stagingDir) ? 1 : 0;
}
