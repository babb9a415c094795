#include "deploy/FileCopy.h"

#include "common/Scoped.h"

namespace {

// The attributes that a new file can be given at its creation.
constexpr DWORD kCreatableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The contents of every file pass through here. One thread copies, and
// one file at a time: pumpMessages only lets the owner window paint.
unsigned char copyBuffer[kFileCopyBufferSize];

}  // namespace

bool copyInstalledFile(const char* source, const char* destination, const WIN32_FIND_DATAA& found) {
    ScopedHandle from(CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from.isValid()) return false;
    // None of them (0) makes a normal file.
    ScopedHandle to(CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                found.dwFileAttributes & kCreatableAttributes, nullptr));
    if (!to.isValid()) return false;
    const bool copied = copyFileData(from.get(), to.get(), copyBuffer, kFileCopyBufferSize);
    // The times, as with the platform's own copy, do not decide whether the
    // file was copied: a folder that cannot take them still holds the bytes.
    if (copied) SetFileTime(to.get(), &found.ftCreationTime, &found.ftLastAccessTime, &found.ftLastWriteTime);
    return copied;
}
