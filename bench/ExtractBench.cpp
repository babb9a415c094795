// Extraction throughput under Wine, on the same archive in the same run:
//   the floor: zlib inflate of every entry into memory;
//   ours: ArchiveExtractor::extract into a folder (checksum, files, times,
//   attributes; the write cost included).
// usage: extract-bench.exe ARCHIVE DESTINATION\   (prints figures)
#include <windows.h>

#include <stdio.h>
#include <zlib.h>

#include <vector>

#include "InflateAll.h"
#include "archive/ArchiveFormat.h"
#include "archive/Extractor.h"
#include "deploy/FileOps.h"

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
    // The staged tree's removal at exit: every entry opened, checked and
    // deleted by its handle.
    QueryPerformanceCounter(&start);
    int removed = removeTree(argv[2]);
    QueryPerformanceCounter(&end);
    double removalSeconds = seconds(start, end);
    if (!removed) {
        fprintf(stderr, "removal failed\n");
        return 1;
    }
    const double mb = unpacked / 1e6;
    printf("unpacked_mb %.1f\n", mb);
    printf("floor_wine_seconds %.3f\nfloor_wine_mbs %.1f\n", floorSeconds, mb / floorSeconds);
    printf("ours_seconds %.3f\nours_mbs %.1f\n", oursSeconds, mb / oursSeconds);
    printf("removal_seconds %.3f\n", removalSeconds);
    return 0;
}
