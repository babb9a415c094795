#include "archive/Extractor.h"

#include <string.h>
#include <zlib.h>

#include "archive/ArchiveFormat.h"
#include "archive/StagingFolder.h"
#include "archive/PayloadWork.h"
#include "common/Format.h"
#include "common/InstallState.h"
#include "common/MessagePump.h"
#include "common/PhaseMark.h"
#include "common/Paths.h"
#include "common/Scoped.h"
#include "common/StagedTrees.h"
#include "deploy/FileOps.h"
#include "res/resource.h"
#include "ui/TaskbarProgress.h"

namespace {

// One output buffer for every entry. 64 KiB rather than a few: each buffer
// costs a write and, at most every kPumpIntervalMs, a look at the queue;
// inflating 64 KiB takes well under a millisecond, so the owner window does
// not wait for it.
constexpr uint32_t kOutputBufferSize = 65536;

// Entry names arrive in UTF-16 of at most this many units; longer ones could
// never fit a 260-byte path.
constexpr int kWideNameCapacity = 2 * kPathSize;

void showFailure(HWND owner, const char* text, const char* caption) {
    MessageBoxA(owner, text, caption, MB_OK);
}

// Copies as much of the leading part of `text` as fits `size` bytes into
// `dst`, cut at a character boundary, terminated.
void copyLeadingPart(char* dst, int size, const char* text) {
    const char* end = text;
    for (const char* next = CharNextA(end); next != end && next - text < size; next = CharNextA(end)) end = next;
    memcpy(dst, text, static_cast<size_t>(end - text));
    dst[end - text] = '\0';
}

// Converts the first `units` units of the wide name at `source` (fewer than
// kWideNameCapacity) into the ANSI code page, never splitting a surrogate
// pair; false when they do not fit `size` bytes.
bool convertUnits(const uint8_t* source, uint32_t units, char* name, int size) {
    // Copied first: the units in the archive need not be aligned. One unit
    // more (the next, or the terminator) tells whether a pair would be split.
    WCHAR wide[kWideNameCapacity];
    memcpy(wide, source, (units + 1) * sizeof(WCHAR));
    if (units > 0 && IS_HIGH_SURROGATE(wide[units - 1]) && IS_LOW_SURROGATE(wide[units])) --units;
    wide[units] = L'\0';
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, name, size, nullptr, nullptr) != 0;
}

// The entry's name in the ANSI code page, within `size` bytes. false when the
// whole name does not fit; `name` then holds its leading part, cut at a
// character boundary, so that a message can still name the entry.
bool decodeName(const ArchiveEntry& entry, bool wideNames, char* name, int size) {
    if (!wideNames) {
        if (entry.nameUnits < static_cast<uint32_t>(size)) {
            memcpy(name, entry.name, entry.nameUnits + 1);
            return true;
        }
        copyLeadingPart(name, size, reinterpret_cast<const char*>(entry.name));
        return false;
    }
    const uint32_t units = entry.nameUnits;
    const uint32_t capacity = kWideNameCapacity - 1;
    if (units <= capacity && convertUnits(entry.name, units, name, size)) return true;
    // The leading part: as many units as the wide buffer holds, else as many
    // as surely fit `size` bytes (no code page takes more than three bytes
    // for one unit).
    if (units > capacity && convertUnits(entry.name, capacity, name, size)) return false;
    const uint32_t shorter = static_cast<uint32_t>(size - 1) / 3;
    if (!convertUnits(entry.name, units < shorter ? units : shorter, name, size)) name[0] = '\0';
    return false;
}

// Entry names are decoded into this many bytes: a name that cannot fit a
// path at all still fits here, so that the message can name it.
constexpr int kNameSize = 2 * kWideNameCapacity + 4;

// Checks every entry's name and path before anything is written: a name
// that would lead outside `destination`, or a path that would not fit the
// path rule (a folder leaves room for its enumeration pattern), stops the
// extraction with "Unable to create file." captioned with the name or the
// path. Entries out of bounds stop it silently. true = every entry is sound.
// The longest names of each staged tree are kept on the way.
bool checkEntryPaths(HWND owner, const uint8_t* archive, uint32_t size, bool wideNames, const char* destination) {
    memset(installState.stagedTrees, 0, sizeof installState.stagedTrees);
    EntryWalker walker(archive, size, wideNames);
    ArchiveEntry entry;
    char name[kNameSize];
    for (bool first = true;; first = false) {
        EntryWalker::Step step = walker.next(entry);
        // Contents that do not begin with an entry: see extract().
        if (step == EntryWalker::End) return !first || size == kArchiveHeaderSize;
        if (step == EntryWalker::Malformed) return false;
        if (!decodeName(entry, wideNames, name, sizeof name) || !isSafeEntryName(name)) {
            showFailure(owner, "Unable to create file.", name);
            return false;
        }
        PathOverflow overflow;
        const size_t limit = entry.isDirectory() ? kFolderLimit : kPathLimit;
        if (joinedLength(destination, name) > limit) {
            noteOverflow(&overflow, destination, name, limit);
            char reason[100];
            describeOverflow(reason, sizeof reason, overflow);
            char text[sizeof reason + 32];
            formatText(text, sizeof text, "Unable to create file.\n\n%s", reason);
            showFailure(owner, text, overflow.path);
            return false;
        }
        noteStagedEntry(name, entry.isDirectory());
    }
}

void setTimes(HANDLE file, const ArchiveEntry& entry) {
    FILETIME creation = {entry.creationTime.low, entry.creationTime.high};
    FILETIME access = {entry.lastAccessTime.low, entry.lastAccessTime.high};
    FILETIME write = {entry.lastWriteTime.low, entry.lastWriteTime.high};
    SetFileTime(file, &creation, &access, &write);
}

}  // namespace

void createParentDirectories(char* path) {
    ParentDirectories parents;
    parents.createFor(path);
}

void ParentDirectories::createFor(char* path) {
    // The prefixes this path shares with the last parent, up to a backslash
    // of both, were created (or tried) for an earlier entry. Bytes are
    // compared: where the two texts agree up to a position they split into
    // the same characters, so a shared backslash is a separator in both.
    size_t shared = 0;
    for (size_t i = 0; path[i] != '\0' && path[i] == lastParent_[i]; ++i) {
        if (path[i] == '\\') shared = i + 1;
    }
    char* lastSeparator = nullptr;
    for (char* p = path; *p; p = CharNextA(p)) {
        if (*p != '\\') continue;
        lastSeparator = p;
        if (static_cast<size_t>(p - path) < shared) continue;
        *p = '\0';
        CreateDirectoryA(path, nullptr);
        *p = '\\';
    }
    // The parent, with its final backslash; it fits, being part of `path`.
    size_t parentLength = lastSeparator ? static_cast<size_t>(lastSeparator - path) + 1 : 0;
    if (parentLength >= sizeof lastParent_) parentLength = 0;
    memcpy(lastParent_, path, parentLength);
    lastParent_[parentLength] = '\0';
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
        // No call may produce more than one byte past the announced size,
        // whatever the buffer's size: a stream that decodes to far more
        // leaves at most that in the file.
        const uint64_t room = static_cast<uint64_t>(expectedSize) - written + 1;
        stream.next_out = buffer;
        stream.avail_out = room < bufferSize ? static_cast<uInt>(room) : bufferSize;
        int rc = inflate(&stream, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        DWORD produced = static_cast<DWORD>(stream.next_out - buffer);
        DWORD done = 0;
        if (!WriteFile(file, buffer, produced, &done, nullptr) || done != produced) break;
        written += produced;
        addTaskbarProgress(produced);
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
    markPhase("extraction");
    const bool wideNames = hasWideNames(archive);
    if (!checkEntryPaths(owner, archive, size, wideNames, destination)) return 0;
    CreateDirectoryA(destination, nullptr);
    HeapBuffer buffer(kOutputBufferSize);
    if (!buffer.get()) return 0;

    int result = 1;
    ScopedHandle file;
    EntryWalker walker(archive, size, wideNames);
    ArchiveEntry entry;
    char name[kPathSize];
    char fullPath[kPathSize];
    ParentDirectories parents;
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
        // Every name and path passed checkEntryPaths.
        if (!decodeName(entry, wideNames, name, sizeof name) ||
            !joinPath(fullPath, sizeof fullPath, destination, name)) {
            result = 0;
            break;
        }
        parents.createFor(fullPath);
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
        // A directory just created has the directory attribute alone, a file
        // just created the archive attribute alone: setting the same again
        // changes nothing and costs a call per entry.
        const DWORD fresh = entry.isDirectory() ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (entry.attributes != fresh) SetFileAttributesA(fullPath, entry.attributes);
        // Between entries too, so that many small files, each decoded in one
        // call, do not keep the owner window waiting.
        pumpMessages();
    }
    return result;
}

int extractPayload(HWND owner, StagingFolder& stagingFolder) {
    char staging[kPathSize];
    DWORD length = GetTempPathA(sizeof staging, staging);
    if (length == 0 || length >= sizeof staging) return 0;
    // ProgName becomes a folder of the temp folder that is removed whole
    // later: it must not be able to name anything else.
    const char* progName = setupString(Slot::ProgName);
    // The staging folder is a folder like any other: its listing pattern
    // must fit too, or it could not be removed.
    if (!isPlainFolderName(progName) || !appendText(staging, sizeof staging, progName) ||
        !appendText(staging, sizeof staging, "\\") || strlen(staging) > kFolderLimit + 1) {
        return 0;
    }
    markPhase("checksum");
    copyText(installState.stagingDir, kPathSize, staging);
    if (!stagingFolder.create(owner, installState.stagingDir)) return 0;

    HRSRC resource = FindResourceExA(nullptr, RT_RCDATA, MAKEINTRESOURCEA(IDR_PAYLOAD), 0);
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const uint8_t* archive = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!archive) return 0;
    beginTaskbarProgress(owner, payloadWorkBytes(archive, SizeofResource(nullptr, resource)));
    ArchiveExtractor extractor;
    if (!extractor.extract(owner, archive, SizeofResource(nullptr, resource), installState.stagingDir)) return 0;
    // What the install step copies must be what was extracted.
    if (stagingFolder.isIntact()) return 1;
    showFailure(owner, "Unable to create file.", installState.stagingDir);
    return 0;
}
