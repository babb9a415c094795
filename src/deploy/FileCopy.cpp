#include "deploy/FileCopy.h"

#include "common/MessagePump.h"
#include "common/Scoped.h"

namespace {

// The attributes that a new file can be given at its creation.
constexpr DWORD kCreatableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

DWORD creationAttributes(const WIN32_FIND_DATAA& found) {
    DWORD attributes = found.dwFileAttributes & kCreatableAttributes;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Closes `file` without losing the last error of what failed before.
void closeKeepingError(ScopedHandle& file) {
    DWORD error = GetLastError();
    file.reset();
    SetLastError(error);
}

}  // namespace

bool copyFileData(HANDLE source, HANDLE destination, unsigned char* buffer, DWORD bufferSize) {
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer, bufferSize, &got, nullptr)) return false;
        if (got == 0) return true;
        DWORD put = 0;
        if (!WriteFile(destination, buffer, got, &put, nullptr)) return false;
        if (put != got) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        // A file read short has ended: the read that would say so is spared.
        if (got < bufferSize) return true;
        pumpMessages();
    }
}

bool copyInstalledFile(const char* source, const char* destination, const WIN32_FIND_DATAA& found,
                       unsigned char* buffer, DWORD bufferSize) {
    ScopedHandle from(CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from.isValid()) return false;
    const DWORD attributes = creationAttributes(found);
    ScopedHandle to(CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
    if (!to.isValid()) return false;
    // A file that was there is truncated and keeps its own attributes on
    // some platforms: it is given the source's after the contents.
    const bool replaced = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!copyFileData(from.get(), to.get(), buffer, bufferSize)) {
        closeKeepingError(to);
        return false;
    }
    // Times and attributes, like the platform's own copy, do not decide
    // whether the file was copied: a folder that cannot take them still
    // holds the right bytes.
    SetFileTime(to.get(), &found.ftCreationTime, &found.ftLastAccessTime, &found.ftLastWriteTime);
    to.reset();
    if (replaced) SetFileAttributesA(destination, attributes);
    return true;
}
