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
    // The installer is a 32-bit program, where zlib's stream record is 56
    // bytes; the 64-bit build of the same code (for the tests) has a larger one.
    static_assert(sizeof(void*) != 4 || sizeof(z_stream) == 56, "the stream record zlib expects for version 1.2.2");
    z_stream stream;
    memset(&stream, 0, sizeof stream);  // zlib's own allocation routines
    stream.next_in = const_cast<Bytef*>(packed);
    stream.avail_in = packedSize;
    if (inflateInit_(&stream, "1.2.2", static_cast<int>(sizeof stream)) != Z_OK) return 0;

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
