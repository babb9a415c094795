#pragma once
// The payload archive: reading rules shared by the installer's extractor, the
// packer and the tests. Portable: no platform headers.
//
// Layout (all integers little-endian, no alignment, no filler):
//   ArchiveHeader, 10 bytes: "ZOT", version 1, reserved 0, flags (bit 0:
//     names are UTF-16LE), checksum = ArchiveCrc of every byte after the
//     header.
//   Then entries until the end of the archive, each:
//     EntryHeader, 50 bytes: "ZFAD", attributes, creation, last-access and
//       last-write FILETIMEs (low word first), size high, size low, packed
//       size high, packed size low, name length (terminator included, 16 bits);
//     the name (backslash-separated, relative, terminated);
//     the packed data: a zlib stream of packedSizeLow bytes that decodes to
//       exactly sizeLow bytes.
//   Bytes at an entry position that do not begin with "ZFAD" end the walk as
//   the end of the archive does. The high size words are never read.
#include <stddef.h>
#include <stdint.h>

constexpr uint32_t kArchiveHeaderSize = 10;
constexpr uint32_t kEntryHeaderSize = 50;
constexpr uint8_t kArchiveVersion = 1;
constexpr uint8_t kWideNamesFlag = 0x01;
constexpr uint32_t kCrcPolynomial = 0x04C11DB7;
constexpr uint32_t kDirectoryAttribute = 0x10;

// The 256-word table of one polynomial, computed on first use. Its
// polynomial word is 0 (zero-initialised static storage) until then.
// `shifted` serves the bulk update, eight bytes per step: shifted[k][i] is the
// remainder of byte i followed by k + 1 zero bytes. It lives in zero-filled
// storage and is computed with the words, so it costs no file size.
struct CrcTable {
    uint32_t words[256];
    uint32_t polynomial;
    uint32_t shifted[7][256];

    // Recomputes every word unless they were computed for this polynomial.
    void prepare(uint32_t newPolynomial);
};

// CRC-32, polynomial 0x04C11DB7, initial value 0, most significant bit first,
// no final XOR. "123456789" gives 0x89A1897F.
class ArchiveCrc {
public:
    ArchiveCrc();  // prepares the shared table, then reset()
    void reset() { accumulator_ = 0; }
    void update(unsigned byte) {
        accumulator_ = (accumulator_ << 8) ^ table.words[(accumulator_ >> 24) ^ (byte & 0xFF)];
    }
    // The same result as update() over each byte of the range, faster.
    void update(const uint8_t* bytes, size_t count);
    uint32_t value() const { return accumulator_; }

    static CrcTable table;

private:
    uint32_t accumulator_;
};

// Outcome of the acceptance tests, in the order they are applied.
enum class ArchiveCheck {
    Accepted,
    TooShort,     // fewer than 10 bytes
    BadMagic,     // not "ZOT"
    BadVersion,   // version byte not 1
    BadReserved,  // reserved byte not 0
    BadChecksum,  // ArchiveCrc of bytes 10.. differs from the stored checksum
};

// Applies the acceptance tests; the checksum covers bytes 10 to size - 1.
ArchiveCheck checkArchive(const uint8_t* data, uint32_t size);

// A short English description of a check result, for tools.
const char* describeArchiveCheck(ArchiveCheck check);

// True when an accepted archive stores UTF-16LE names (bit 0 of byte 5).
bool hasWideNames(const uint8_t* data);

struct FileTime {
    uint32_t low;
    uint32_t high;
};

// One entry as the walk found it; pointers point into the archive.
struct ArchiveEntry {
    uint32_t offset;  // position of the entry header
    uint32_t attributes;
    FileTime creationTime;
    FileTime lastAccessTime;
    FileTime lastWriteTime;
    uint32_t sizeLow;
    uint32_t packedSizeLow;
    uint16_t nameLength;       // as stored: bytes of the name field
    const uint8_t* name;       // terminated within nameLength (checked); wide
                               // names may sit at an odd address: copy them
                               // before reading them as 16-bit units
    uint32_t nameUnits;        // characters before the terminator (bytes, or UTF-16 units)
    const uint8_t* packedData; // packedSizeLow bytes, all within the archive (checked)

    bool isDirectory() const { return (attributes & kDirectoryAttribute) != 0; }
};

// Walks the entries of an accepted archive from offset 10, never reading past
// its end. An entry whose header, name or packed data would extend past the
// end, or whose name has no terminator within nameLength (a two-byte
// terminator at an even offset for wide names), makes the walk Malformed; so
// do fewer than four bytes at an entry position that begin like "ZFAD" (a
// header cut short). Once End or Malformed, next() keeps returning it.
// Holds no state but its own members, so any number may run at once.
class EntryWalker {
public:
    enum Step {
        Entry,     // `entry` describes the next entry
        End,       // the end of the archive, or bytes that are not "ZFAD"
        Malformed, // the entry at the current position is out of bounds
    };

    EntryWalker(const uint8_t* data, uint32_t size, bool wideNames);
    Step next(ArchiveEntry& entry);

private:
    const uint8_t* data_;
    uint32_t size_;
    uint32_t position_;
    bool wideNames_;
    bool stopped_;  // End or Malformed reached: result_ is final
    Step result_;
};
