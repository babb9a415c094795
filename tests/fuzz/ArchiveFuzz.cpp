// Fuzz target of the archive reader: the acceptance tests, the entry walk
// and the decoding of each entry's stream, as the extractor drives them.
//
// Mutated archives almost never keep a valid checksum, so the input is
// checked twice: once as it is, and once with its checksum made right, so
// that the walk sees every mutation of the body.
#include <stdint.h>
#include <string.h>

#include <vector>

#include <zlib.h>

#include "archive/ArchiveFormat.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// Decodes one stream into a small buffer, at most a bounded amount, the way
// the extractor does (it stops once more than sizeLow came out).
void inflateEntry(const ArchiveEntry& entry) {
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    stream.next_in = const_cast<Bytef*>(entry.packedData);
    stream.avail_in = entry.packedSizeLow;
    if (inflateInit(&stream) != Z_OK) return;
    uint8_t buffer[512];
    uint64_t written = 0;
    for (int round = 0; round < 64; ++round) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        int rc = inflate(&stream, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        written += sizeof buffer - stream.avail_out;
        if (rc == Z_STREAM_END || written > entry.sizeLow) break;
    }
    inflateEnd(&stream);
}

void walk(const uint8_t* data, uint32_t size) {
    if (checkArchive(data, size) != ArchiveCheck::Accepted) return;
    EntryWalker walker(data, size, hasWideNames(data));
    ArchiveEntry entry;
    uint32_t previous = 0;
    while (walker.next(entry) == EntryWalker::Entry) {
        // Everything the walk hands out lies inside the archive, and the
        // walk moves forward.
        require(entry.offset >= kArchiveHeaderSize && entry.offset >= previous);
        require(entry.name >= data + entry.offset + kEntryHeaderSize);
        require(entry.name + entry.nameLength <= data + size);
        require(entry.packedData == entry.name + entry.nameLength);
        require(entry.packedSizeLow <= static_cast<size_t>(data + size - entry.packedData));
        uint32_t unit = hasWideNames(data) ? 2 : 1;
        require((entry.nameUnits + 1) * unit <= entry.nameLength);
        previous = entry.offset + 1;
        inflateEntry(entry);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    walk(data, static_cast<uint32_t>(size));
    if (size < kArchiveHeaderSize) return 0;

    std::vector<uint8_t> copy(data, data + size);
    ArchiveCrc crc;
    crc.update(copy.data() + kArchiveHeaderSize, copy.size() - kArchiveHeaderSize);
    uint32_t checksum = crc.value();
    for (int i = 0; i < 4; ++i) copy[6 + i] = static_cast<uint8_t>(checksum >> (8 * i));
    walk(copy.data(), static_cast<uint32_t>(copy.size()));
    return 0;
}
