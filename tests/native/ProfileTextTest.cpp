// The profile reader against the platform's rules, one tricky line per row.
#include "config/ProfileText.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr char kPoison = '\xBD';

struct LookupCase {
    const char* why;
    std::string text;
    const char* section;
    const char* key;
    size_t outSize;
    const char* expected;
};

// Looks the key up into a poisoned buffer with a guard byte past outSize.
::testing::AssertionResult readsAs(const LookupCase& c) {
    std::vector<char> out(c.outSize + 1, kPoison);
    size_t count = readProfileText(c.text.data(), c.text.size(), c.section, c.key, out.data(), c.outSize);
    if (out[c.outSize] != kPoison) return ::testing::AssertionFailure() << "wrote past the buffer";
    if (count != strlen(c.expected) || std::string(out.data()) != c.expected) {
        return ::testing::AssertionFailure() << "got [" << out.data() << "] (" << count << ")";
    }
    return ::testing::AssertionSuccess();
}

TEST(ProfileText, LooksKeysUpAsThePlatformReaderDoes) {
    const LookupCase cases[] = {
        {"plain", "[EN]\r\nKey=value\r\n", "EN", "Key", 64, "value"},
        {"names without regard to case", "[en]\r\nkEY=v\r\n", "EN", "Key", 64, "v"},
        {"other letters match as they are", "[\xC9t\xE9]\r\nK=v\r\n", "\xC9T\xE9", "k", 64, "v"},
        {"but do not fold", "[\xC9t\xE9]\r\nK=v\r\n", "\xE9T\xC9", "k", 64, ""},
        {"blanks around names and value", "  [ EN ]  \r\n\t Key \t=  a b \x1A\r\n", "EN", "Key", 64, "a b"},
        {"the query is trimmed too", "[EN]\r\nKey=v\r\n", " EN\t", " Key ", 64, "v"},
        {"LF-only lines", "[EN]\nA=1\nB=2\n", "EN", "B", 64, "2"},
        {"CR-only lines", "[EN]\rA=1\rB=2", "EN", "B", 64, "2"},
        {"no line end at the end", "[EN]\r\nKey=last", "EN", "Key", 64, "last"},
        {"first of two equal keys", "[EN]\r\nKey=one\r\nKEY=two\r\n", "EN", "Key", 64, "one"},
        {"a second section of the name is never searched",
         "[EN]\r\nA=1\r\n[FR]\r\nB=x\r\n[EN]\r\nB=2\r\n", "EN", "B", 64, ""},
        {"but the first one is, wherever the key stands",
         "[EN]\r\nA=1\r\n[en]\r\nA=2\r\n", "EN", "A", 64, "1"},
        {"a pair of double quotes goes", "[S]\r\nOpen=\"\"%s\\a.exe\" \"%%1\"\"\r\n", "S", "Open", 64,
         "\"%s\\a.exe\" \"%%1\""},
        {"one inner pair only is what stays", "[S]\r\nOpen=\"%s\\a.exe\" \"%%1\"\r\n", "S", "Open", 64,
         "%s\\a.exe\" \"%%1"},
        {"single quotes go as well", "[S]\r\nK='x'\r\n", "S", "K", 64, "x"},
        {"unmatched quotes stay", "[S]\r\nK=\"x'\r\n", "S", "K", 64, "\"x'"},
        {"a lone quote stays", "[S]\r\nK=\"\r\n", "S", "K", 64, "\""},
        {"two quotes give the empty text", "[S]\r\nK=\"\"\r\n", "S", "K", 64, ""},
        {"blanks inside quotes stay", "[S]\r\nK=\" x \"\r\n", "S", "K", 64, " x "},
        {"the first '=' splits", "[S]\r\nK=a=b\r\n", "S", "K", 64, "a=b"},
        {"no '=': a key without value", "[S]\r\nK\r\n", "S", "K", 64, ""},
        {"';' is no comment for a lookup", "[S]\r\n;K=x\r\n", "S", ";K", 64, "x"},
        {"nor does it hide the key it starts", "[S]\r\n;K=x\r\n", "S", "K", 64, ""},
        {"text after ']' is ignored", "[S] junk\r\nK=v\r\n", "S", "K", 64, "v"},
        {"the last ']' closes the name", "[a]b]\r\nK=v\r\n", "a]b", "K", 64, "v"},
        {"'[' without ']' is a key line", "[S\r\nK=v\r\n", "S", "K", 64, ""},
        {"keys before any section", "K=v\r\n[S]\r\n", "", "K", 64, "v"},
        {"missing section", "[S]\r\nK=v\r\n", "T", "K", 64, ""},
        {"a NUL ends the value", std::string("[S]\r\nK=ab\0cd\r\n", 14), "S", "K", 64, "ab"},
        {"cut to the buffer", "[S]\r\nK=abcdef\r\n", "S", "K", 4, "abc"},
        {"exactly fits", "[S]\r\nK=abc\r\n", "S", "K", 4, "abc"},
        // The closing quote is dropped from what fits, so a quoted value one
        // character too long loses a character more.
        {"quoted, fits", "[S]\r\nK=\"abc\"\r\n", "S", "K", 5, "abc"},
        {"quoted, one short", "[S]\r\nK=\"abc\"\r\n", "S", "K", 4, "ab"},
        {"quoted, cut", "[S]\r\nK=\"abcdef\"\r\n", "S", "K", 4, "abc"},
        {"UTF-8 with its mark comes out in Windows-1252",
         "\xEF\xBB\xBF[S]\r\nK=Caf\xC3\xA9 \xE2\x82\xAC \xE8\xAA\xAC\r\n", "S", "K", 64, "Caf\xE9 \x80 ?"},
        {"UTF-8 without the mark is taken byte by byte", "[S]\r\nK=Caf\xC3\xA9\r\n", "S", "K", 64, "Caf\xC3\xA9"},
        {"UTF-16 is not read", std::string("\xFF\xFE[\0S\0]\0", 8), "S", "K", 64, ""},
        {"empty text", "", "S", "K", 64, ""},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_TRUE(readsAs(c));
    }
}

TEST(ProfileText, ZeroSizedBufferIsLeftAlone) {
    char out = kPoison;
    EXPECT_EQ(0u, readProfileText("[S]\r\nK=v\r\n", 10, "S", "K", &out, 0));
    EXPECT_EQ(kPoison, out);
}

TEST(ProfileText, EnumerationGivesLinesAsAnEditorNumbersThem) {
    const char text[] = "; note\r\n\r\n[EN]\r\nA = 1 \n\nB\r[ FR ] x\r\nC=\"q\"";
    ProfileCursor cursor(text, sizeof text - 1);
    struct Expected {
        ProfileLine::Kind kind;
        unsigned number;
        const char* name;
        const char* value;  // null: no '='
    };
    const Expected expected[] = {
        {ProfileLine::Kind::Key, 1, "; note", nullptr},
        {ProfileLine::Kind::Section, 3, "EN", nullptr},
        {ProfileLine::Kind::Key, 4, "A", "1"},
        {ProfileLine::Kind::Key, 6, "B", nullptr},
        {ProfileLine::Kind::Section, 7, "FR", nullptr},
        {ProfileLine::Kind::Key, 8, "C", "\"q\""},
    };
    ProfileLine line;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(cursor.next(line));
        EXPECT_EQ(e.kind, line.kind);
        EXPECT_EQ(e.number, line.number);
        EXPECT_EQ(e.name, std::string(line.name, line.nameLength));
        if (e.value) {
            ASSERT_NE(nullptr, line.value);
            EXPECT_EQ(e.value, std::string(line.value, line.valueLength));
        } else if (e.kind == ProfileLine::Kind::Key) {
            EXPECT_EQ(nullptr, line.value);
        }
    }
    EXPECT_FALSE(cursor.next(line));
}

}  // namespace
