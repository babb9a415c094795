#pragma once
// The rules an image must obey for the Windows loader to map it, checked on
// the build machine. Wine maps images the loader refuses (a hole between
// sections, for one), so a run under Wine proves none of this; setup-pack
// applies these rules to its stub, to every installer it writes, and to any
// executable given to setup-pack verify.
//
// What is checked: the MZ and PE signatures and e_lfanew inside the file;
// FileAlignment a power of two from 512 to 64 KiB and SectionAlignment not
// below it; the headers (SizeOfHeaders) holding the section table; sections
// aligned, in ascending order and adjacent from the end of the headers;
// their raw data aligned, after the headers and inside the file;
// SizeOfImage ending where the last section ends; every data directory
// inside the image (the security directory, a file offset, inside the file
// after the sections); a nonzero CheckSum matching the file; the resource
// tree ordered as the loader's binary search needs (named entries first,
// names ascending by UTF-16 unit, numbers ascending) with every data entry
// inside the resource section; base relocations parseable and each pointing
// into a section; and, for an executable (not a DLL), a manifest (resource
// type 24, number 1) with a requestedExecutionLevel.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct ImageReport {
    std::vector<std::string> faults;  // one sentence each, in the order found
    std::string executionLevel;       // the manifest's requestedExecutionLevel; "" when none
};

// Checks `size` bytes of an image. True when no rule is broken; `report`
// then holds the execution level, else one fault per broken rule (checking
// stops at the first fault that leaves nothing further readable).
bool checkImageRules(const uint8_t* data, size_t size, ImageReport& report);

// The same for a file, read through a mapping (installers may be large).
// False, with `error` set, only when the file cannot be read; the faults
// found are in `report`.
bool checkImageRulesFile(const std::string& path, ImageReport& report, std::string& error);
