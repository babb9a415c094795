#pragma once
// Reading payload archives on the build machine (setup-pack list, verify).
#include <stdint.h>

#include <cstdio>
#include <string>
#include <vector>

// Reads a whole archive file; false with a reason when it cannot be read or
// is 4 GiB or larger (the installer addresses it with 32-bit sizes).
bool readArchiveFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// An entry name as UTF-8. Wide names are decoded from UTF-16LE (an unpaired
// surrogate is shown as \uXXXX); 8-bit names are shown as they are for ASCII,
// with other bytes as \xNN, since their code page is not known here.
std::string entryNameText(const uint8_t* name, uint32_t units, bool wide);

// A FILETIME as ISO-8601 UTC with seven decimals: 2024-05-01T12:00:00.0000000Z.
std::string fileTimeText(uint64_t fileTime);

// Prints the entries of an accepted archive, one tab-separated line each:
// name, attributes, size, packed size, creation, last-access and last-write
// times, then a summary line. Problems go to `err`. 0 = listed completely,
// 1 = not accepted or the walk met a malformed entry.
int listArchive(const std::vector<uint8_t>& bytes, std::FILE* out, std::FILE* err);

// Checks everything the installer relies on and what a sound writer does:
// acceptance, every entry within bounds, names safe and short enough, each
// file's stream decoding to exactly its size and ending with its packed data,
// no bytes after the last entry. Prints every problem found to `err`.
// 0 = sound, 1 = not.
int verifyArchive(const std::vector<uint8_t>& bytes, std::FILE* out, std::FILE* err);
