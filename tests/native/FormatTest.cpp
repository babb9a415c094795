#include "common/Format.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

constexpr char kPoison = '\xBD';

// A destination buffer poisoned before the call, with one guard byte past
// the size given to the formatter, so that an overrun cannot pass.
struct Destination {
    explicit Destination(size_t capacity) : size(capacity) { memset(bytes, kPoison, sizeof bytes); }
    bool guardIntact() const { return bytes[size] == kPoison; }
    size_t size;
    char bytes[80];  // sizes up to 64 leave room for the guard
};

struct DataCase {
    const char* format;
    size_t size;
    const char* expected;
    bool complete;
};

TEST(FormatDataText, KnowsOnlyPercentSAndDoubledPercent) {
    const char* const args[] = {"Notes", "1.2", "Notes"};
    const DataCase cases[] = {
        {"%s %s by %s", 64, "Notes 1.2 by Notes", true},
        {"100%% sure", 64, "100% sure", true},
        {"%s%s%s%s|", 64, "Notes1.2Notes|", true},         // a fourth %s takes the empty text
        {"%d %x %n %p %1 %", 64, "%d %x %n %p %1 %", true}, // not directives: copied
        {"%%s", 64, "%s", true},
        {"", 64, "", true},
        {"%s %s", 6, "Notes", false},                        // cut, still terminated
        {"abc", 4, "abc", true},                             // exactly fits
        {"abcd", 4, "abc", false},
        {"%%%%", 2, "%", false},
    };
    for (const DataCase& c : cases) {
        SCOPED_TRACE(c.format);
        Destination dst(c.size);
        EXPECT_EQ(c.complete, formatDataText(dst.bytes, dst.size, c.format, args, 3));
        EXPECT_STREQ(c.expected, dst.bytes);
        EXPECT_TRUE(dst.guardIntact());
    }
}

TEST(FormatDataText, NeverReadsPastTheGivenArguments) {
    const char* const args[] = {"only", nullptr};
    Destination dst(64);
    EXPECT_TRUE(formatDataText(dst.bytes, dst.size, "[%s][%s][%s]", args, 1));
    EXPECT_STREQ("[only][][]", dst.bytes);
    EXPECT_TRUE(formatDataText(dst.bytes, dst.size, "[%s]", nullptr, 0));
    EXPECT_STREQ("[]", dst.bytes);
}

TEST(FormatText, DirectivesAndLimits) {
    Destination dst(64);
    EXPECT_TRUE(formatText(dst.bytes, dst.size, "%s\\%s.exe", "C:\\Apps", "Notes"));
    EXPECT_STREQ("C:\\Apps\\Notes.exe", dst.bytes);
    EXPECT_TRUE(formatText(dst.bytes, dst.size, "%u.%u|%i|%i|%%", 4294967295u, 0u, -2147483647 - 1, 42));
    EXPECT_STREQ("4294967295.0|-2147483648|42|%", dst.bytes);
    EXPECT_TRUE(formatText(dst.bytes, dst.size, "[%s]", static_cast<const char*>(nullptr)));
    EXPECT_STREQ("[]", dst.bytes);

    Destination small(8);
    EXPECT_FALSE(formatText(small.bytes, small.size, "%u", 123456789u));
    EXPECT_STREQ("1234567", small.bytes);
    EXPECT_TRUE(small.guardIntact());
}

TEST(FormatText, ZeroSizeWritesNothingAndReportsTruncation) {
    Destination dst(0);
    EXPECT_FALSE(formatText(dst.bytes, 0, "x"));
    EXPECT_EQ(kPoison, dst.bytes[0]);
    EXPECT_FALSE(copyText(dst.bytes, 0, ""));
    EXPECT_EQ(kPoison, dst.bytes[0]);
}

TEST(CopyAndAppend, ReportWhetherTheTextFits) {
    Destination dst(8);
    EXPECT_TRUE(copyText(dst.bytes, dst.size, "C:\\a"));
    EXPECT_TRUE(appendText(dst.bytes, dst.size, "\\bc"));
    EXPECT_STREQ("C:\\a\\bc", dst.bytes);
    EXPECT_FALSE(appendText(dst.bytes, dst.size, "d"));
    EXPECT_STREQ("C:\\a\\bc", dst.bytes);
    EXPECT_TRUE(dst.guardIntact());

    // A destination that is not terminated within its size is refused whole.
    memset(dst.bytes, 'x', dst.size);
    EXPECT_FALSE(appendText(dst.bytes, dst.size, "y"));
    EXPECT_TRUE(dst.guardIntact());
}

}  // namespace
