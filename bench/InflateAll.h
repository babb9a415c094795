#pragma once
// The floor of the extraction benchmarks, shared by the native and the Wine
// program: zlib inflate of every entry of an archive into memory.
#include <stdint.h>
#include <zlib.h>

#include <vector>

#include "archive/ArchiveFormat.h"

// Inflates every entry into one 8192-byte buffer, as the extractor does,
// without writing anything; returns the bytes produced.
inline double inflateAll(const std::vector<uint8_t>& archive) {
    EntryWalker walker(archive.data(), static_cast<uint32_t>(archive.size()), hasWideNames(archive.data()));
    ArchiveEntry entry;
    uint8_t buffer[8192];
    double total = 0;
    while (walker.next(entry) == EntryWalker::Entry) {
        if (entry.isDirectory()) continue;
        z_stream stream = {};
        stream.next_in = const_cast<Bytef*>(entry.packedData);
        stream.avail_in = entry.packedSizeLow;
        inflateInit(&stream);
        int rc;
        do {
            stream.next_out = buffer;
            stream.avail_out = sizeof buffer;
            rc = inflate(&stream, Z_SYNC_FLUSH);
        } while (rc == Z_OK);
        total += double(stream.total_out);
        inflateEnd(&stream);
    }
    return total;
}

