// Fuzz target of the Desktop.INI value handling: a staged value as the
// profile reader hands it over (its counted length and its text) and the
// one argument. A value that is used must format to the reference
// expansion within 260 bytes, or not be written at all.
#include <stdint.h>
#include <string.h>

#include <string>

#include "ReferenceFormat.h"
#include "deploy/ShellValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The value up to the first zero byte (cut to what the reader could
    // hold), then the argument.
    const uint8_t* split = static_cast<const uint8_t*>(memchr(data, 0, size));
    std::string value(reinterpret_cast<const char*>(data), split ? split - data : size);
    std::string argument = split ? std::string(reinterpret_cast<const char*>(split + 1), data + size - split - 1) : "";
    argument = argument.substr(0, strnlen(argument.c_str(), argument.size()));
    if (value.size() > kShellValueCapacity - 1) value.resize(kShellValueCapacity - 1);

    const bool used = isWholeShellValue(value.size());
    require(used == (!value.empty() && value.size() < kShellValueCapacity - 1));
    if (!used) return 0;

    char result[kShellResultSize + 8];
    memset(result, 0xbd, sizeof result);
    const char* args[] = {argument.c_str()};
    const std::string expected = referenceDataText(value, args, 1);
    const bool written = formatShellValue(result, value.c_str(), argument.c_str());
    for (size_t i = kShellResultSize; i < sizeof result; ++i) require(result[i] == '\xbd');
    require(written == (expected.size() < kShellResultSize));
    if (written) require(expected == result);
    return 0;
}
