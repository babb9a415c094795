// Extraction throughput under Wine, on the same archive in the same run:
//   the floor: zlib inflate of every entry into memory;
//   ours: ArchiveExtractor::extract into a folder (checksum, files, times,
//   attributes; the write cost included).
// usage: extract-bench.exe ARCHIVE DESTINATION\   (prints figures)
#include <windows.h>

#include <stdio.h>
#include <zlib.h>

#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/Extractor.h"

namespace {

double seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

bool readWhole(const char* path, std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD got = 0;
    bool ok = ReadFile(file, bytes.data(), size, &got, nullptr) && got == size;
    CloseHandle(file);
    return ok;
}

// Inflates every entry into one 8192-byte buffer, as the extractor does,
// without writing anything; returns the bytes produced.
double inflateAll(const std::vector<uint8_t>& archive) {
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: extract-bench.exe ARCHIVE DESTINATION\\\n");
        return 2;
    }
    std::vector<uint8_t> archive;
    if (!readWhole(argv[1], archive)) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    double unpacked = inflateAll(archive);
    QueryPerformanceCounter(&end);
    double floorSeconds = seconds(start, end);

    QueryPerformanceCounter(&start);
    ArchiveExtractor extractor;
    int result = extractor.extract(nullptr, archive.data(), static_cast<uint32_t>(archive.size()), argv[2]);
    QueryPerformanceCounter(&end);
    double oursSeconds = seconds(start, end);
    if (!result) {
        fprintf(stderr, "extraction failed\n");
        return 1;
    }
    const double mb = unpacked / 1e6;
    printf("unpacked_mb %.1f\n", mb);
    printf("floor_wine_seconds %.3f\nfloor_wine_mbs %.1f\n", floorSeconds, mb / floorSeconds);
    printf("ours_seconds %.3f\nours_mbs %.1f\n", oursSeconds, mb / oursSeconds);
    return 0;
}
