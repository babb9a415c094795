#include "deploy/CopyJournal.h"

#include <string.h>

#include "deploy/FileOps.h"

namespace {

// The first block holds about sixteen paths; each later one doubles it.
constexpr SIZE_T kFirstCapacity = 4096;

}  // namespace

CopyJournal::~CopyJournal() {
    if (entries_) HeapFree(GetProcessHeap(), 0, entries_);
}

bool CopyJournal::reserve(SIZE_T needed) {
    if (capacity_ - used_ >= needed) return true;
    SIZE_T capacity = capacity_ ? capacity_ : kFirstCapacity;
    while (capacity - used_ < needed) {
        if (capacity > (~static_cast<SIZE_T>(0)) / 2) return false;
        capacity *= 2;
    }
    void* grown = entries_ ? HeapReAlloc(GetProcessHeap(), 0, entries_, capacity)
                           : HeapAlloc(GetProcessHeap(), 0, capacity);
    if (!grown) return false;
    entries_ = static_cast<char*>(grown);
    capacity_ = capacity;
    return true;
}

bool CopyJournal::add(const char* path) {
    SIZE_T length = strlen(path) + 1;
    if (!reserve(length)) return false;
    memcpy(entries_ + used_, path, length);
    used_ += length;
    return true;
}

// The recorded paths never lie inside one another (nothing below a created
// directory is recorded), so the order of removal does not matter.
void CopyJournal::rollBack() {
    for (SIZE_T at = 0; at < used_; at += strlen(entries_ + at) + 1) {
        const char* path = entries_ + at;
        if (isDirectory(path)) removeTree(path);
        else deleteFile(path);
    }
    used_ = 0;
}
