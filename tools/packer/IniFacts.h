#pragma once
// The few values of a setup INI that building and reading installers need,
// read with the installer's profile reader (config/ProfileText.h).
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct IniValue {
    std::string text;  // as the installer reads it: trimmed, one pair of quotes removed
    unsigned line = 0; // 0 when the key is missing
};

struct IniFacts {
    IniValue progName, progVersion, progFile, progDir;  // from [Settings]
    std::vector<std::string> languages;  // sections other than Settings and FileType, in file order
};

// Reads the [Settings] values and the language sections from the INI's
// bytes, as the installer's profile reader reads them: names without regard
// to ASCII case, the first [Settings] only, the first of two equal keys.
IniFacts readIniFacts(const uint8_t* data, size_t size);
