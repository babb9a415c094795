#include <windows.h>

#include "common/Paths.h"
#include "common/Text.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

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

struct JoinCase {
    std::string folder;
    std::string name;
    std::string joined;  // "" = does not fit 260 bytes
};

// One separator between a folder and a name, never two, and a path that does
// not fit is refused whole.
TEST(JoinPath, PutsExactlyOneSeparatorAndRefusesWhatDoesNotFit) {
    const std::string folder256 = "C:\\" + std::string(253, 'f');
    const JoinCase cases[] = {
        {"C:\\a", "b", "C:\\a\\b"},
        {"C:\\a\\", "b", "C:\\a\\b"},  // the staging folder ends with one
        {"", "b", "b"},
        {"C:\\a", "", "C:\\a\\"},
        {folder256, "xx", folder256 + "\\xx"},  // 259 bytes
        {folder256, "xxx", ""},                 // 260 bytes
        {folder256 + "\\", "xx", folder256 + "\\xx"},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.folder + " + " + c.name);
        char path[MAX_PATH + 1];
        memset(path, 0xbd, sizeof path);
        EXPECT_EQ(!c.joined.empty(), joinPath(path, MAX_PATH, c.folder.c_str(), c.name.c_str()));
        if (!c.joined.empty()) {
            EXPECT_EQ(c.joined, path);
        }
        EXPECT_EQ(static_cast<char>(0xbd), path[MAX_PATH]);
        const size_t expected = c.folder.size() + c.name.size() +
                                (!c.folder.empty() && c.folder.back() != '\\' ? 1 : 0);
        EXPECT_EQ(expected, joinedLength(c.folder.c_str(), c.name.c_str()));
    }
}

// A folder's listing pattern "folder\*" fits for folders of up to 257 bytes.
TEST(FolderPattern, FitsForFoldersUpToTheFolderLimit) {
    for (size_t length : {kFolderLimit - 1, kFolderLimit, kFolderLimit + 1}) {
        for (bool trailing : {false, true}) {
            const std::string folder = "C:\\" + std::string(length - 3, 'f') + (trailing ? "\\" : "");
            SCOPED_TRACE(folder.size());
            char pattern[MAX_PATH];
            const bool fits = folderPattern(pattern, folder.c_str());
            EXPECT_EQ(length <= kFolderLimit, fits);
            if (fits) {
                EXPECT_EQ(folder + (trailing ? "*" : "\\*"), pattern);
            }
        }
    }
}

}  // namespace
