// The portable profile reader against the platform's own: each tricky text
// is written to a file and read with GetPrivateProfileStringA, and both
// readers must give the same bytes and the same count.
#include "config/ProfileText.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

constexpr char kPoison = '\xBD';

struct Lookup {
    const char* why;
    std::string text;
    const char* section;
    const char* key;
    DWORD size;
};

TEST(ProfileTextOnThePlatform, ReadsAsGetPrivateProfileStringA) {
    const Lookup lookups[] = {
        {"plain", "[EN]\r\nKey=value\r\n", "EN", "Key", 64},
        {"case", "[en]\r\nkEY=v\r\n", "EN", "Key", 64},
        {"Windows-1252 letters as they are", "[\xC9t\xE9]\r\nK=v\r\n", "\xC9T\xE9", "k", 64},
        {"Windows-1252 letters in the other case", "[\xC9t\xE9]\r\nK=v\r\n", "\xE9T\xC9", "k", 64},
        {"blanks", "  [ EN ]  \r\n\t Key \t=  a b \x1A\r\n", "EN", "Key", 64},
        {"query trimmed", "[EN]\r\nKey=v\r\n", " EN\t", " Key ", 64},
        {"LF lines", "[EN]\nA=1\nB=2\n", "EN", "B", 64},
        {"CR lines", "[EN]\rA=1\rB=2", "EN", "B", 64},
        {"mixed line ends", "[EN]\r\r\n\nA=1\n\rB=2", "EN", "B", 64},
        {"no final line end", "[EN]\r\nKey=last", "EN", "Key", 64},
        {"first of two keys", "[EN]\r\nKey=one\r\nKEY=two\r\n", "EN", "Key", 64},
        {"second section of a name", "[EN]\r\nA=1\r\n[FR]\r\nB=x\r\n[EN]\r\nB=2\r\n", "EN", "B", 64},
        {"doubled outer quotes", "[S]\r\nOpen=\"\"%s\\a.exe\" \"%%1\"\"\r\n", "S", "Open", 64},
        {"single outer quotes", "[S]\r\nOpen=\"%s\\a.exe\" \"%%1\"\r\n", "S", "Open", 64},
        {"apostrophes", "[S]\r\nK='x'\r\n", "S", "K", 64},
        {"unmatched quotes", "[S]\r\nK=\"x'\r\n", "S", "K", 64},
        {"lone quote", "[S]\r\nK=\"\r\n", "S", "K", 64},
        {"two quotes", "[S]\r\nK=\"\"\r\n", "S", "K", 64},
        {"blanks in quotes", "[S]\r\nK=\" x \"\r\n", "S", "K", 64},
        {"two equals signs", "[S]\r\nK=a=b\r\n", "S", "K", 64},
        {"no equals sign", "[S]\r\nK\r\n", "S", "K", 64},
        {"semicolon key", "[S]\r\n;K=x\r\n", "S", ";K", 64},
        {"semicolon hides nothing", "[S]\r\n;K=x\r\n", "S", "K", 64},
        {"text after bracket", "[S] junk\r\nK=v\r\n", "S", "K", 64},
        {"last bracket", "[a]b]\r\nK=v\r\n", "a]b", "K", 64},
        {"unclosed section", "[S\r\nK=v\r\n", "S", "K", 64},
        {"missing section", "[S]\r\nK=v\r\n", "T", "K", 64},
        {"NUL in value", std::string("[S]\r\nK=ab\0cd\r\n", 14), "S", "K", 64},
        {"cut", "[S]\r\nK=abcdef\r\n", "S", "K", 4},
        {"exactly fits", "[S]\r\nK=abc\r\n", "S", "K", 4},
        {"quoted, fits", "[S]\r\nK=\"abc\"\r\n", "S", "K", 5},
        {"quoted, one short", "[S]\r\nK=\"abc\"\r\n", "S", "K", 4},
        {"quoted, cut", "[S]\r\nK=\"abcdef\"\r\n", "S", "K", 4},
        {"UTF-8 with its mark", "\xEF\xBB\xBF[S]\r\nK=Caf\xC3\xA9 \xE2\x82\xAC\r\n", "S", "K", 64},
        {"UTF-8 without the mark", "[S]\r\nK=Caf\xC3\xA9\r\n", "S", "K", 64},
        {"no-break spaces stay", "[S]\r\nK=\xA0x\xA0\r\n", "S", "K", 64},
        {"1023 bytes", "[S]\r\nK=" + std::string(1500, 'v') + "\r\n", "S", "K", 1024},
    };
    TempDir dir;
    int index = 0;
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(l.why);
        std::string file = dir / ("case" + std::to_string(index++) + ".ini");
        ASSERT_TRUE(writeFile(file, l.text));
        std::vector<char> platform(l.size + 1, kPoison), ours(l.size + 1, kPoison);
        DWORD expected = GetPrivateProfileStringA(l.section, l.key, "", platform.data(), l.size, file.c_str());
        size_t got = readProfileText(l.text.data(), l.text.size(), l.section, l.key, ours.data(), l.size);
        EXPECT_EQ(expected, got);
        EXPECT_EQ(std::string(platform.data(), expected), std::string(ours.data(), got));
        EXPECT_EQ(kPoison, ours[l.size]);
    }
}

}  // namespace
