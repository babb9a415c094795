// The payload archive's reading rules: checksum, acceptance tests and the
// bounds-checked entry walk. Portable: no platform headers, no globals but the
// checksum table, which lives in zero-filled storage.
#include "archive/ArchiveFormat.h"

namespace {

constexpr uint8_t kArchiveMagic[3] = {'Z', 'O', 'T'};
constexpr uint8_t kEntryMagic[4] = {'Z', 'F', 'A', 'D'};
constexpr uint32_t kEntryMagicSize = 4;

// Offsets inside the archive header and an entry header.
constexpr uint32_t kVersionOffset = 3;
constexpr uint32_t kReservedOffset = 4;
constexpr uint32_t kFlagsOffset = 5;
constexpr uint32_t kChecksumOffset = 6;
constexpr uint32_t kAttributesOffset = 4;
constexpr uint32_t kCreationOffset = 8;
constexpr uint32_t kLastAccessOffset = 16;
constexpr uint32_t kLastWriteOffset = 24;
constexpr uint32_t kSizeLowOffset = 36;
constexpr uint32_t kPackedSizeLowOffset = 44;
constexpr uint32_t kNameLengthOffset = 48;

uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t readLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

FileTime readFileTime(const uint8_t* p) {
    return FileTime{readLe32(p), readLe32(p + 4)};
}

bool startsWith(const uint8_t* bytes, uint32_t available, const uint8_t* prefix, uint32_t prefixSize) {
    uint32_t count = available < prefixSize ? available : prefixSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes[i] != prefix[i]) return false;
    }
    return true;
}

// The remainder of one byte pushed through the register: the next word of
// the table one position further on.
uint32_t shiftOneByte(const uint32_t* words, uint32_t value) {
    return (value << 8) ^ words[value >> 24];
}

// Position of the terminator of an 8-bit name (a zero byte) or a wide name
// (a zero 16-bit unit at an even offset) within `length` bytes, in units;
// false when there is none.
bool findTerminator(const uint8_t* name, uint32_t length, bool wide, uint32_t& units) {
    if (!wide) {
        for (uint32_t i = 0; i < length; ++i) {
            if (name[i] == 0) { units = i; return true; }
        }
        return false;
    }
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        if (name[i] == 0 && name[i + 1] == 0) { units = i / 2; return true; }
    }
    return false;
}

}  // namespace

CrcTable ArchiveCrc::table;

void CrcTable::prepare(uint32_t newPolynomial) {
    if (newPolynomial == polynomial) return;
    polynomial = newPolynomial;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 0x80000000u) ? (c << 1) ^ newPolynomial : c << 1;
        }
        words[i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = words[i];
        for (int k = 0; k < 7; ++k) {
            c = shiftOneByte(words, c);
            shifted[k][i] = c;
        }
    }
}

ArchiveCrc::ArchiveCrc() {
    table.prepare(kCrcPolynomial);
    reset();
}

// Eight bytes per step: the register's four bytes meet the first four input
// bytes, and each of the eight bytes reaches the end of the step through the
// table for its distance from it. Bytes are read one by one, so any alignment
// and either byte order of the host give the same result as update(byte).
void ArchiveCrc::update(const uint8_t* bytes, size_t count) {
    const uint32_t (*s)[256] = table.shifted;
    uint32_t c = accumulator_;
    while (count >= 8) {
        c = s[6][(c >> 24) ^ bytes[0]] ^ s[5][((c >> 16) & 0xFF) ^ bytes[1]] ^
            s[4][((c >> 8) & 0xFF) ^ bytes[2]] ^ s[3][(c & 0xFF) ^ bytes[3]] ^
            s[2][bytes[4]] ^ s[1][bytes[5]] ^ s[0][bytes[6]] ^ table.words[bytes[7]];
        bytes += 8;
        count -= 8;
    }
    accumulator_ = c;
    while (count--) update(*bytes++);
}

ArchiveCheck checkArchive(const uint8_t* data, uint32_t size) {
    if (size < kArchiveHeaderSize) return ArchiveCheck::TooShort;
    if (!startsWith(data, sizeof kArchiveMagic, kArchiveMagic, sizeof kArchiveMagic)) return ArchiveCheck::BadMagic;
    if (data[kVersionOffset] != kArchiveVersion) return ArchiveCheck::BadVersion;
    if (data[kReservedOffset] != 0) return ArchiveCheck::BadReserved;
    ArchiveCrc crc;
    crc.update(data + kArchiveHeaderSize, size - kArchiveHeaderSize);
    if (crc.value() != readLe32(data + kChecksumOffset)) return ArchiveCheck::BadChecksum;
    return ArchiveCheck::Accepted;
}

bool hasWideNames(const uint8_t* data) {
    return (data[kFlagsOffset] & kWideNamesFlag) != 0;
}

EntryWalker::EntryWalker(const uint8_t* data, uint32_t size, bool wideNames)
    : data_(data), size_(size), position_(kArchiveHeaderSize), wideNames_(wideNames), stopped_(false),
      result_(End) {}

// Every length is compared with what remains after the parts before it, so no
// sum can wrap and nothing is read beyond data_ + size_.
EntryWalker::Step EntryWalker::next(ArchiveEntry& entry) {
    if (stopped_) return result_;
    stopped_ = true;
    result_ = Malformed;
    if (position_ >= size_) return result_ = End;
    const uint8_t* p = data_ + position_;
    uint32_t remaining = size_ - position_;
    if (!startsWith(p, remaining, kEntryMagic, kEntryMagicSize)) return result_ = End;
    if (remaining < kEntryHeaderSize) return result_;
    remaining -= kEntryHeaderSize;
    uint16_t nameLength = readLe16(p + kNameLengthOffset);
    if (nameLength > remaining) return result_;
    remaining -= nameLength;
    uint32_t packedSize = readLe32(p + kPackedSizeLowOffset);
    if (packedSize > remaining) return result_;
    const uint8_t* name = p + kEntryHeaderSize;
    uint32_t nameUnits = 0;
    if (!findTerminator(name, nameLength, wideNames_, nameUnits)) return result_;

    entry.offset = position_;
    entry.attributes = readLe32(p + kAttributesOffset);
    entry.creationTime = readFileTime(p + kCreationOffset);
    entry.lastAccessTime = readFileTime(p + kLastAccessOffset);
    entry.lastWriteTime = readFileTime(p + kLastWriteOffset);
    entry.sizeLow = readLe32(p + kSizeLowOffset);
    entry.packedSizeLow = packedSize;
    entry.nameLength = nameLength;
    entry.name = name;
    entry.nameUnits = nameUnits;
    entry.packedData = name + nameLength;
    position_ += kEntryHeaderSize + nameLength + packedSize;
    stopped_ = false;
    return result_ = Entry;
}
