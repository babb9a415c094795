#pragma once
// Writes payload archives: used by the packer and by tests that need good or
// deliberately bad archives. Portable C++ with zlib; not part of setup.exe.
//
// The writer keeps a list of items, entries and raw byte runs, and lays them
// out in order after the 10-byte archive header when the archive is built.
// Every field is written exactly as it stands, so a test can change any of
// them after adding an entry: a wrong nameLength, a sizeLow that does not
// match the stream, nonzero high words, a wrong checksum, a bad magic.
//
//   ArchiveWriter writer;                         // 8-bit names
//   writer.addDirectory("Program");
//   writer.addFile("Program\\a.txt", "hello");
//   writer.addFile("Program\\b.txt", "x").fields.sizeLow = 2;  // a bad entry
//   writer.appendBytes({'j', 'u', 'n', 'k'});      // after the last entry
//   std::vector<uint8_t> bytes = writer.build();
#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <string>
#include <vector>

using ByteVector = std::vector<uint8_t>;

// Attribute words as the platform defines them.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;

// A FILETIME: 100-nanosecond intervals since 1 January 1601 UTC.
using FileTime64 = uint64_t;

// The FILETIME of a Unix time; times before 1601 give 0.
FileTime64 fileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// The 10-byte archive header as it will be written. `checksum` is used only
// when `overrideChecksum` is set; otherwise build() computes the right one.
struct ArchiveHeaderFields {
    uint8_t magic[3] = {'Z', 'O', 'T'};
    uint8_t version = 1;
    uint8_t reserved = 0;
    uint8_t flags = 0;  // bit 0: names are UTF-16LE
    bool overrideChecksum = false;
    uint32_t checksum = 0;
};

// The 50-byte entry header as it will be written.
struct EntryFields {
    uint8_t magic[4] = {'Z', 'F', 'A', 'D'};
    uint32_t attributes = kAttributeArchive;
    FileTime64 creationTime = 0;
    FileTime64 lastAccessTime = 0;
    FileTime64 lastWriteTime = 0;
    uint32_t sizeHigh = 0;
    uint32_t sizeLow = 0;
    uint32_t packedSizeHigh = 0;
    uint32_t packedSizeLow = 0;
    uint16_t nameLength = 0;
};

// One item of the archive body: an entry (header, name bytes, packed bytes),
// or, when `raw` is set, only `packed`, written as it stands.
struct ArchiveItem {
    bool raw = false;
    EntryFields fields;
    ByteVector name;    // the name field, terminator included when wanted
    ByteVector packed;  // the packed data, or the raw bytes
};

// Encodes an entry name given in UTF-8 as the archive stores it: the bytes
// as they are plus one zero byte (8-bit names), or UTF-16LE plus a zero unit
// (wide names). False, with a reason, when a wide name is not valid UTF-8.
bool encodeEntryName(const std::string& utf8, bool wide, ByteVector& out, std::string* error);

// Compresses bytes into one zlib stream at the given level (9 = best).
ByteVector packBytes(const uint8_t* data, size_t size, int level = 9);
inline ByteVector packBytes(const std::string& text, int level = 9) {
    return packBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), level);
}

// Compresses a stream of unknown length into one zlib stream, piece by piece.
class StreamPacker {
public:
    explicit StreamPacker(int level = 9);
    ~StreamPacker();
    StreamPacker(const StreamPacker&) = delete;
    StreamPacker& operator=(const StreamPacker&) = delete;

    // False when zlib fails (then finish() fails too).
    bool append(const uint8_t* data, size_t size);
    // Ends the stream and hands over the packed bytes; false on failure.
    bool finish(ByteVector& packed);

private:
    bool run(const uint8_t* data, size_t size, int flush);
    struct State;
    State* state_;
    ByteVector out_;
    bool ok_;
};

class ArchiveWriter {
public:
    explicit ArchiveWriter(bool wideNames = false);

    ArchiveHeaderFields header;

    // High-level: entries with consistent fields. Names are UTF-8, encoded
    // for the archive's name setting at the time of the call; an invalid
    // wide name throws std::invalid_argument. The returned item may be
    // changed until build().
    ArchiveItem& addFile(const std::string& name, const std::string& contents,
                         uint32_t attributes = kAttributeArchive, FileTime64 time = 0);
    ArchiveItem& addFile(const std::string& name, const ByteVector& contents,
                         uint32_t attributes = kAttributeArchive, FileTime64 time = 0);
    ArchiveItem& addDirectory(const std::string& name, uint32_t attributes = kAttributeDirectory,
                              FileTime64 time = 0);

    // Low-level: an entry whose fields, name field and packed bytes are
    // written exactly as given (nameLength and packedSizeLow included).
    ArchiveItem& addRawEntry(const EntryFields& fields, const ByteVector& name, const ByteVector& packed);
    // An entry with the given fields and name field and already packed data;
    // nameLength and packedSizeLow are set from them.
    ArchiveItem& addPackedEntry(EntryFields fields, const ByteVector& name, const ByteVector& packed);
    // Bytes written as they stand at this point of the body (junk after the
    // last entry, a cut entry, anything).
    ArchiveItem& appendBytes(const ByteVector& bytes);

    std::vector<ArchiveItem>& items() { return items_; }
    bool wideNames() const { return (header.flags & 0x01) != 0; }

    // The checksum build() writes unless overridden: ArchiveCrc of the body.
    uint32_t bodyChecksum() const;
    // The whole archive.
    ByteVector build() const;
    // Writes the archive to a file; false, with a reason, on failure.
    bool writeFile(const std::string& path, std::string* error) const;

private:
    ByteVector encodeName(const std::string& name) const;
    template <typename Sink> void writeBody(Sink& sink) const;
    template <typename Sink> void writeHeader(Sink& sink, uint32_t checksum) const;

    std::vector<ArchiveItem> items_;
};
