#pragma once
// The few values of a setup INI that building and reading installers need.
// A small private reader, to be replaced by the shared profile reader of
// src/config once that is available to the packer.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct IniValue {
    std::string text;  // as the installer reads it: trimmed, one pair of quotes removed
    unsigned line = 0; // 0 when the key is missing
};

struct IniFacts {
    IniValue progName, progVersion, progFile, progDir;
    std::vector<std::string> languages;  // sections other than Settings and FileType, in file order
};

// Reads the [Settings] values and the language sections from the INI's
// bytes. Section and key names compare without regard to ASCII case; the
// first occurrence of a key in the first section of a name counts, as for
// the installer.
IniFacts readIniFacts(const uint8_t* data, size_t size);
