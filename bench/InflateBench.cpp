// The floor natively: zlib inflate of every entry of an archive into memory.
// usage: inflate-bench ARCHIVE   (prints figures)
#include <stdio.h>
#include <time.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "InflateAll.h"
#include "archive/ArchiveFormat.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (checkArchive(archive.data(), static_cast<uint32_t>(archive.size())) != ArchiveCheck::Accepted) return 1;
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    double total = inflateAll(archive);
    clock_gettime(CLOCK_MONOTONIC, &end);
    double elapsed = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    printf("floor_native_seconds %.3f\nfloor_native_mbs %.1f\n", elapsed, total / 1e6 / elapsed);
    return 0;
}
