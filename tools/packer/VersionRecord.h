#pragma once
// A program's version record as a vendor needs it to write ProgVersion: the
// fixed record's file and product versions and the texts of its string
// tables (setup-pack info).
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "PeImage.h"

struct VersionRecord {
    bool found = false;  // the program has a version resource with a fixed record
    FixedVersion fixed;
    // Every text of every string table, in the resource's order, as UTF-8:
    // (ProductName, "Sample Notes"), (FileVersion, "1.2.0.0"), ...
    std::vector<std::pair<std::string, std::string>> texts;
};

// The texts of a version resource's bytes. The layout, each node aligned to
// 4 bytes from the resource's start:
//   u16 wLength (the node with its children), u16 wValueLength (units for
//   text values, bytes for binary ones), u16 wType (1 text, 0 binary),
//   UTF-16 key with its terminator, padding, value, padding, children.
// VS_VERSION_INFO holds StringFileInfo, whose children are string tables
// whose children are the texts. Malformed nodes end the walk; false when
// the root is malformed.
bool readVersionTexts(const uint8_t* data, size_t size, std::vector<std::pair<std::string, std::string>>& texts);

// The record of the program's first version resource (any name, any
// language).
VersionRecord readVersionRecord(const PeImage& image);

// "1.2.3.4" for four 16-bit parts, most significant first.
std::string versionText(uint64_t version);

// What setup-pack info prints: one "Name: value" line each for the file and
// product versions and the texts, then the ProgVersion the installer would
// check against (major.minor of the file version); or a line saying that
// the program has no version record, and what that means.
std::string describeVersionRecord(const VersionRecord& record);
