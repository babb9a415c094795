#include "archive/Extractor.h"
#include "common/SafeNames.h"

#include <gtest/gtest.h>

#include <ctype.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "deploy/FileOps.h"

namespace {

struct NameCase {
    const char* name;
    bool safe;
};

TEST(EntryNames, OnlyPlacesInsideTheDestinationAreAccepted) {
    const NameCase cases[] = {
        {"Program\\notes.exe", true},
        {"Documents\\Sub dir\\a.b.txt", true},
        {"Program\\..notes", true},  // dots inside a name are fine
        {"Program\\CONSOLE.txt", true},
        {"Program\\COM10", true},
        {"", false},
        {"\\Program\\x", false},
        {"/Program/x", false},
        {"C:\\x", false},
        {"C:x", false},
        {"Program\\a.txt:stream", false},
        {"Program\\\\x", false},   // empty component
        {"Program\\", false},      // empty last component
        {"Program\\.\\x", false},
        {"Program\\..\\..\\x", false},
        {"Program/../../x", false},  // forward slashes separate too
        {"Program\\.. \\x", false},  // trailing blanks are dropped: ".."
        {"Program\\...\\x", false},
        {"Program\\CON", false},
        {"Program\\nul.txt", false},
        {"Program\\Com1", false},
        {"Program\\LPT9.log", false},
        {"Program\\CON .txt", false},
        {"Program\\conin$", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.safe, isSafeEntryName(c.name));
    }
}

// The platform opens a device, not a file, for each of these names in any
// component, in any letter case, with any extension and with trailing dots
// or blanks; the superscript digits are those of Windows-1252.
TEST(EntryNames, EveryDeviceNameIsRefusedInEveryForm) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the Windows-1252 code page, not " << GetACP();
    std::vector<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* port : {"COM", "LPT"}) {
        for (char digit = '1'; digit <= '9'; ++digit) devices.push_back(std::string(port) + digit);
        for (const char* superscript : {"\xB9", "\xB2", "\xB3"}) devices.push_back(std::string(port) + superscript);
    }
    ASSERT_EQ(30u, devices.size());
    const char* const forms[] = {"%", "%.txt", "%.", "% ", "% .txt", "%. .", "%.tar.gz", "sub\\%", "%\\x"};
    for (const std::string& device : devices) {
        std::string lower = device;
        for (char& ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        for (const std::string& spelling : {device, lower}) {
            for (const char* form : forms) {
                std::string name = "Program\\" + std::string(form);
                name.replace(name.find('%'), 1, spelling);
                SCOPED_TRACE(name);
                EXPECT_FALSE(isSafeEntryName(name.c_str()));
            }
        }
    }
    // Names that only look like devices.
    const char* const lookalikes[] = {"COM0", "LPT0", "COM10", "LPT\xB4", "CONOUT", "CONIN", "AUXX", "XNUL",
                                "PRN_", "CON$", "COM", "NUL-1.txt", "LPT1x"};
    for (const char* name : lookalikes) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isSafeEntryName((std::string("Program\\") + name).c_str()));
    }
}

TEST(StagingFolderNames, AreASinglePlainComponent) {
    const NameCase cases[] = {
        {"Sample Notes", true}, {"Notes 1.2", true}, {"", false}, {".", false}, {"..", false},
        {"...", false}, {"a\\b", false}, {"a/b", false}, {"a:b", false}, {"a*", false}, {"a?", false},
        {"\"a\"", false}, {"a<b", false}, {"a>b", false}, {"a|b", false}, {"trailing.", false},
        {"trailing ", false}, {"tab\there", false}, {"NUL", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.safe, isPlainFolderName(c.name));
    }
}

TEST(CreateParentDirectories, CreatesEveryParentButNotTheLastComponent) {
    TempDir dir;
    std::string path = dir / "a\\b\\c\\leaf.txt";
    std::string copy = path;
    createParentDirectories(&copy[0]);
    EXPECT_EQ(path, copy) << "the path holds the same text afterwards";
    EXPECT_EQ(1, isDirectory((dir / "a\\b\\c").c_str()));
    EXPECT_EQ(0, isDirectory((dir / "a\\b\\c\\leaf.txt").c_str()));
    EXPECT_EQ(0, isExistingFile((dir / "a\\b\\c\\leaf.txt").c_str()));

    std::string empty;
    createParentDirectories(&empty[0]);  // nothing to do, nothing to fail
}

// The extraction creates each parent once, skipping what a path shares with
// the previous path's parent. Sharing must be counted in whole folders: a
// name that merely begins like the previous folder is a folder of its own.
TEST(ParentDirectories, EachPathFindsAllItsParentsWhateverCameBefore) {
    const char* const sequences[][4] = {
        {"a\\b\\c\\f1", "a\\d\\f2", "a\\b\\f3", "x\\f4"},    // back up, then sideways
        {"a\\b\\f1", "a\\bc\\f2", "a\\b\\cd\\f3", "a\\f4"},  // bc shares the bytes of b
        {"ab\\f1", "a\\f2", "a\\b\\f3", "ab\\c\\f4"},            // a after ab
        {"f1", "a\\f2", "f3", "a\\b\\f4"},                         // files at the top
        {"a\\b\\f1", "a\\b\\f2", "a\\b\\f2\\f3", "a\\b\\f4"},  // the same parent twice, then deeper
    };
    for (const auto& sequence : sequences) {
        TempDir dir;
        ParentDirectories parents;
        for (const char* name : sequence) {
            SCOPED_TRACE(name);
            std::string path = dir / name;
            std::string copy = path;
            parents.createFor(&copy[0]);
            EXPECT_EQ(path, copy) << "the path holds the same text afterwards";
            std::string parent = path.substr(0, path.rfind('\\'));
            EXPECT_EQ(1, isDirectory(parent.c_str()));
            EXPECT_EQ(0, isDirectory(path.c_str())) << "the last component is not created";
        }
    }
}

}  // namespace
