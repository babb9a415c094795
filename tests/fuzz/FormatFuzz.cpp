// Fuzz target of the data-text formatter: the format, up to three arguments
// and the destination size all come from the input. The result must be the
// reference expansion when it fits, its longest prefix that fits otherwise,
// always terminated, and nothing past the destination may change.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "ReferenceFormat.h"
#include "common/Format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t dstSize = data[0];  // 0 to 255
    const size_t count = data[1] % 4;
    // The rest: the format, then the arguments, separated by zero bytes.
    std::vector<std::string> parts(1);
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 0) parts.emplace_back();
        else parts.back() += static_cast<char>(data[i]);
    }
    const std::string& format = parts[0];
    std::vector<const char*> args;
    for (size_t i = 1; i < parts.size() && args.size() < count; ++i) args.push_back(parts[i].c_str());
    while (args.size() < count) args.push_back(nullptr);  // a null text prints as ""

    const std::string expected = referenceDataText(format, args.data(), count);
    std::vector<char> buffer(dstSize + 16, '\xbd');
    const bool complete = formatDataText(buffer.data(), dstSize, format.c_str(), args.data(), count);
    for (size_t i = dstSize; i < buffer.size(); ++i) require(buffer[i] == '\xbd');
    if (dstSize == 0) {
        require(!complete || expected.empty());
        return 0;
    }
    const size_t length = strnlen(buffer.data(), dstSize);
    require(length < dstSize);
    require(complete == (expected.size() < dstSize));
    require(expected.compare(0, length, buffer.data(), length) == 0);
    require(length == (complete ? expected.size() : dstSize - 1));

    // Appending to what is there gives the same bytes as a copy would.
    if (complete) {
        std::vector<char> joined(dstSize + 16, '\xbd');
        require(copyText(joined.data(), dstSize, "") && appendText(joined.data(), dstSize, buffer.data()));
        require(strcmp(joined.data(), buffer.data()) == 0);
    }
    return 0;
}
