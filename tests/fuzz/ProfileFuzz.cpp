// Fuzz target of the setup INI's profile-format reading: the text, the
// section and key asked for, and the output size all come from the input.
// Every line the cursor gives lies inside the text, in order, and a value
// read is cut to the buffer and terminated, with nothing past the buffer
// changed.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "ReferenceFormat.h"
#include "config/ProfileText.h"

namespace {

bool inside(const char* p, size_t length, const char* begin, size_t size) {
    return p >= begin && length <= size && p - begin <= static_cast<ptrdiff_t>(size - length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t outSize = data[0];
    const size_t sectionLength = data[1] % 16;
    const size_t keyLength = data[2] % 16;
    if (size < 3 + sectionLength + keyLength) return 0;
    const std::string section(reinterpret_cast<const char*>(data + 3), sectionLength);
    const std::string key(reinterpret_cast<const char*>(data + 3 + sectionLength), keyLength);
    // The text in a buffer of its own size, so that a read past it is seen.
    const std::vector<char> text(data + 3 + sectionLength + keyLength, data + size);
    const char* begin = text.empty() ? nullptr : text.data();

    std::vector<char> out(outSize + 16, '\xbd');
    const size_t stored = readProfileText(begin, text.size(), section.c_str(), key.c_str(), out.data(), outSize);
    for (size_t i = outSize; i < out.size(); ++i) require(out[i] == '\xbd');
    if (outSize > 0) {
        require(stored < outSize);
        require(strnlen(out.data(), outSize) == stored);
    } else {
        require(stored == 0);
    }

    ProfileCursor cursor(begin, text.size());
    ProfileLine line;
    unsigned lastNumber = 0;
    while (cursor.next(line)) {
        require(line.number > lastNumber);
        lastNumber = line.number;
        require(inside(line.text, line.length, begin, text.size()));
        require(inside(line.name, line.nameLength, line.text, line.length));
        if (line.value) require(inside(line.value, line.valueLength, line.text, line.length));
    }
    return 0;
}
