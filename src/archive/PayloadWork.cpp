#include "archive/PayloadWork.h"

#include "archive/ArchiveFormat.h"

uint64_t payloadWorkBytes(const uint8_t* archive, uint32_t size) {
    if (size < kArchiveHeaderSize) return 0;
    EntryWalker walker(archive, size, hasWideNames(archive));
    ArchiveEntry entry;
    uint64_t total = 0;
    while (walker.next(entry) == EntryWalker::Entry) {
        if (!entry.isDirectory()) total += entry.sizeLow;
    }
    // Extracted, then copied: every entry the packer makes lies in one of
    // the two staged trees that the install step copies.
    return 2 * total;
}
