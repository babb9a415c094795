// Fuzz target of the version-number parsing: two version texts from the
// input. Each number must equal a plain reading of the text (blanks, sign,
// digits, held at the 32-bit limits), and the comparison must never call
// both texts newer than each other, nor a text newer than itself.
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "ReferenceFormat.h"
#include "driver/VersionText.h"

namespace {

long long referenceNumber(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value < 100000000000LL) value = value * 10 + (*text - '0');
    }
    value = negative ? -value : value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return value;
}

void checkReading(const std::string& text) {
    VersionNumbers version = readVersionText(text.c_str());
    require(version.major == referenceNumber(text.c_str()));
    const char* point = strchr(text.c_str(), '.');
    require(version.hasMinor == (point != nullptr));
    require(version.minor == (point ? referenceNumber(point + 1) : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(memchr(data, 0, size));
    std::string a(reinterpret_cast<const char*>(data), split ? split - data : size);
    std::string b = split ? std::string(reinterpret_cast<const char*>(split + 1), data + size - split - 1) : "";
    b = b.substr(0, strnlen(b.c_str(), b.size()));
    checkReading(a);
    checkReading(b);
    const long long aMajor = referenceNumber(a.c_str()), bMajor = referenceNumber(b.c_str());
    const char* aPoint = strchr(a.c_str(), '.');
    const char* bPoint = strchr(b.c_str(), '.');
    const bool newer = aMajor != bMajor ? aMajor > bMajor
                                        : aPoint && bPoint && referenceNumber(aPoint + 1) > referenceNumber(bPoint + 1);
    require(isNewerVersion(a.c_str(), b.c_str()) == newer);
    require(!isNewerVersion(a.c_str(), a.c_str()));
    require(!(isNewerVersion(a.c_str(), b.c_str()) && isNewerVersion(b.c_str(), a.c_str())));
    return 0;
}
