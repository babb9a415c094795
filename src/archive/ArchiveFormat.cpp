// Not built yet: every operation fails safely.
#include "archive/ArchiveFormat.h"

CrcTable ArchiveCrc::table;
void CrcTable::prepare(uint32_t) {}
ArchiveCrc::ArchiveCrc() : accumulator_(0) {}
void ArchiveCrc::update(const uint8_t*, size_t) {}
ArchiveCheck checkArchive(const uint8_t*, uint32_t) { return ArchiveCheck::TooShort; }
const char* describeArchiveCheck(ArchiveCheck) { return ""; }
bool hasWideNames(const uint8_t* data) { return (data[5] & kWideNamesFlag) != 0; }
EntryWalker::EntryWalker(const uint8_t* data, uint32_t size, bool wideNames) : data_(data), size_(size), position_(kArchiveHeaderSize), wideNames_(wideNames), stopped_(true) {}
EntryWalker::Step EntryWalker::next(ArchiveEntry&) { return Malformed; }
