#pragma once
// The resources setup-pack writes into the installer besides the payload
// and the setup INI: the version block and the icon group.
#include <stdint.h>

#include <string>
#include <vector>

#include "PeImage.h"

// Texts of the version block, in UTF-16. An empty companyName leaves
// CompanyName out.
struct VersionTexts {
    std::u16string productName, productVersion, fileDescription, companyName;
};

// ProgVersion as the fixed version record holds it: four 16-bit parts, most
// significant first. The major and minor numbers are those the installer
// reads (readVersionText: "2.1b" is 2.1, "1.x" is 1.0); the third and fourth
// are read the same way after the second point. False, with `reason` (a
// phrase that follows the text), when a part is negative or above 65535.
bool fixedVersionFromText(const std::string& text, uint64_t& version, std::string& reason);

// A complete version resource: the fixed record with both versions set to
// `version` (an application for Windows NT), the strings above plus
// FileVersion (= productVersion), InternalName and OriginalFilename in one
// language-neutral Unicode table, and its translation entry. False, with
// `reason`, when the texts make a block longer than its 16-bit lengths hold.
bool buildVersionBlock(const VersionTexts& texts, uint64_t version, ByteVector& block, std::string& reason);

// Text conversions: the setup INI's 8-bit texts are taken as Windows-1252
// (the code page of the installer's example and of Western Windows);
// command-line texts are UTF-8 (false when they are not).
std::u16string utf16FromWindows1252(const std::string& text);
std::string utf8FromWindows1252(const std::string& text);
bool utf16FromUtf8(const std::string& text, std::u16string& out);

// Replaces icon group `groupId` (and the icons only it used) with the images
// of an .ico file's bytes. False, with a reason, when the file is not a
// well-formed icon file.
bool replaceIconGroup(PeImage& image, uint16_t groupId, const ByteVector& icoFile, std::string& error);
