#include "common/Text.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

struct CompareCase {
    const char* a;
    const char* b;
    bool same;
};

TEST(SameTextIgnoringCase, ComparesWholeTextsWithoutRegardToCase) {
    const CompareCase cases[] = {
        {"-s", "-S", true},
        {"-s", "-s ", false},
        {"-s", "/s", false},
        {"-s", "-sx", false},
        {"Program Files", "PROGRAM FILES", true},
        {"", "", true},
        {"", "x", false},
        {"Caf\xE9", "CAF\xC9", true},  // Windows-1252 e acute, both cases
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b);
        EXPECT_EQ(c.same, sameTextIgnoringCase(c.a, c.b));
    }
}

TEST(FindLastBackslash, FindsTheLastSeparator) {
    char path[] = "C:\\Program Files\\Notes\\notes.exe";
    EXPECT_EQ(path + 22, findLastBackslash(path));
    char none[] = "notes.exe";
    EXPECT_EQ(nullptr, findLastBackslash(none));
}

}  // namespace
