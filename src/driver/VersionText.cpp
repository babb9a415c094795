#include "driver/VersionText.h"

#include <limits.h>
#include <string.h>

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The decimal integer at the start of `text`, held at INT_MIN or INT_MAX
// when it does not fit 32 bits.
int readInteger(const char* text) {
    while (isBlank(*text)) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

VersionNumbers readVersionText(const char* text) {
    VersionNumbers version;
    version.major = readInteger(text);
    const char* point = strchr(text, '.');
    version.hasMinor = point != nullptr;
    version.minor = point ? readInteger(point + 1) : 0;
    return version;
}

bool isNewerVersion(const char* installed, const char* offered) {
    VersionNumbers old = readVersionText(installed);
    VersionNumbers now = readVersionText(offered);
    if (old.major != now.major) return old.major > now.major;
    return old.hasMinor && now.hasMinor && old.minor > now.minor;
}
