#include "config/SetupConfig.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "TestSupport.h"
#include "common/Format.h"
#include "common/InstallState.h"

namespace {

// The four Settings keys and all texts in EN; tests add or change lines.
const char kBaseIni[] =
    "[Settings]\r\nProgName=Notes\r\nProgVersion=1.2\r\nProgFile=%PROGFILE%\r\nProgDir=NotesDir\r\n"
    "[EN]\r\nProgDesc=Desc EN\r\nDirDesc=Dir EN\r\nExtDesc=Ext EN\r\nInstallDesc=Install %s %s? (%s)\r\n"
    "NewerInstalled=Newer EN\r\nInstallBaseDir=Base EN\r\nInstallProgDir=Prog EN\r\nInstallChange=Change EN\r\n"
    "InstallBrowse=Browse EN\r\nInstallCompleted=Done EN\r\nInstallFailed=%s failed EN\r\n"
    "FileCopyFailed=Copy EN\r\nNotDir=NotDir EN\r\nDirCreateFailed=Mkdir EN\r\nInstallOk=OK EN\r\n"
    "InstallCancel=Cancel EN\r\nInstallYes=Yes EN\r\nInstallNo=No EN\r\n";

class SetupConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&installState, 0, sizeof installState);
        progFile_ = "SetupTestProg" + std::to_string(GetCurrentProcessId()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        settingsFile_ = std::string(windows) + "\\" + progFile_ + ".ini";
    }
    void TearDown() override { DeleteFileA(settingsFile_.c_str()); }

    // Loads the base INI with `enLines` at the top of its EN section (the
    // first of two equal keys wins) and `extra` sections after it.
    bool load(const std::string& enLines, const std::string& extra = "", const std::string& base = kBaseIni) {
        std::string text = base;
        text.insert(text.find("[EN]\r\n") + 6, enLines);
        text += extra;
        size_t at = text.find("%PROGFILE%");
        if (at != std::string::npos) text.replace(at, 10, progFile_);
        EXPECT_TRUE(writeFile(dir_ / "setup.ini", text));
        return readSetupConfiguration(nullptr, (dir_ / "setup.ini").c_str());
    }
    void setInstalledLanguage(const char* language) {
        ASSERT_TRUE(writeFile(settingsFile_, std::string("[Screen]\r\nLanguage=") + language + "\r\n"));
    }

    TempDir dir_;
    std::string progFile_;
    std::string settingsFile_;
};

TEST_F(SetupConfigTest, FillsEverySlotFromTheSectionChain) {
    ASSERT_TRUE(load("", "[FR]\r\nProgDesc=Desc FR\r\nDirDesc=\r\nProgDir=DossierFR\r\n"));
    EXPECT_STREQ("Notes", setupString(Slot::ProgName));
    EXPECT_STREQ("1.2", setupString(Slot::ProgVersion));
    EXPECT_STREQ("NotesDir", setupString(Slot::ProgDir));
    EXPECT_STREQ("Desc EN", setupString(Slot::ProgDesc)) << "the locale's language is not FR";
    EXPECT_STREQ("Install Notes 1.2? (Notes)", setupString(Slot::InstallDesc));
    EXPECT_STREQ("Notes failed EN", setupString(Slot::InstallFailed));
    EXPECT_STREQ("No EN", setupString(Slot::InstallNo));
}

TEST_F(SetupConfigTest, InstalledProgramsLanguageChoosesTheSection) {
    setInstalledLanguage("fr");
    ASSERT_TRUE(load("", "[FR]\r\nProgDesc=Desc FR\r\nDirDesc=\r\nProgDir=DossierFR\r\n"));
    EXPECT_STREQ("Desc FR", setupString(Slot::ProgDesc));
    EXPECT_STREQ("Dir EN", setupString(Slot::DirDesc)) << "an empty value falls through to EN";
    EXPECT_STREQ("DossierFR", setupString(Slot::ProgDir)) << "a language section overrides Settings";
    EXPECT_STREQ("Notes", setupString(Slot::ProgName)) << "only Settings has it";
}

TEST_F(SetupConfigTest, LanguageCodesOtherThanTwoLettersAreIgnored) {
    setInstalledLanguage("fra");
    ASSERT_TRUE(load("", "[FR]\r\nProgDesc=Desc FR\r\n[FRA]\r\nProgDesc=Desc FRA\r\n"));
    EXPECT_STREQ("Desc EN", setupString(Slot::ProgDesc));
}

TEST_F(SetupConfigTest, ProgFileOnlyInALanguageSectionFillsTheSlotWithoutOverride) {
    setInstalledLanguage("fr");
    std::string base = kBaseIni;
    base.erase(base.find("ProgFile="), strlen("ProgFile=%PROGFILE%\r\n"));
    ASSERT_TRUE(load("ProgFile=" + progFile_ + "\r\n", "[FR]\r\nProgDesc=Desc FR\r\n", base));
    EXPECT_STREQ(progFile_.c_str(), setupString(Slot::ProgFile));
    EXPECT_STREQ("Desc EN", setupString(Slot::ProgDesc));
}

// A section that records its code page is used only where that is the
// system's ANSI code page; otherwise its users get the English texts, not
// bytes of one code page read in another.
TEST_F(SetupConfigTest, ALanguageSectionOfAnotherCodePageFallsBackToEnglish) {
    const std::string acp = std::to_string(GetACP());
    const std::string other = GetACP() == 1251 ? "1252" : "1251";
    const struct {
        std::string codePageLine;  // in [FR]
        const char* expected;      // ProgDesc
    } cases[] = {
        {"", "Desc FR"},                                // no record: as written
        {"CodePage=" + acp + "\r\n", "Desc FR"},        // the system's code page
        {"CodePage=" + other + "\r\n", "Desc EN"},      // another one
        {"CodePage=0\r\n", "Desc FR"},                 // no code page recorded
    };
    setInstalledLanguage("fr");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePageLine);
        ASSERT_TRUE(load("", "[FR]\r\n" + c.codePageLine + "ProgDesc=Desc FR\r\nInstallYes=Oui\r\n"));
        EXPECT_STREQ(c.expected, setupString(Slot::ProgDesc));
        EXPECT_STREQ(strcmp(c.expected, "Desc FR") == 0 ? "Oui" : "Yes EN", setupString(Slot::InstallYes))
            << "the whole section is used or none of it";
        EXPECT_STREQ("NotesDir", setupString(Slot::ProgDir)) << "Settings still end the chain";
    }
}

struct ValueCase {
    const char* value;     // as written in the INI
    const char* expected;  // the finished text
};

TEST_F(SetupConfigTest, LineBreaksAndFormatting) {
    const ValueCase cases[] = {
        {"one\\ntwo", "one\r\ntwo"},
        {"back\\\\nslash", "back\\\r\nslash"},  // doubled backslash: a backslash, then a line break
        {"capital\\N", "capital\\N"},
        {"trailing\\", "trailing\\"},
        {"100%% %s", "100% Notes"},
        {"%s %s %s %s!", "Notes 1.2 Notes !"},  // a fourth %s takes the empty text
        {"%d %x %n %1", "%d %x %n %1"},         // not directives: copied as they stand
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_TRUE(load(std::string("ProgDesc=") + c.value + "\r\n"));
        EXPECT_STREQ(c.expected, setupString(Slot::ProgDesc));
    }
}

TEST_F(SetupConfigTest, DirectivesInNameAndVersionTakeNoArguments) {
    ASSERT_TRUE(load("ProgName=%s%%\r\nProgVersion=%s.1\r\n"));
    EXPECT_STREQ("%", setupString(Slot::ProgName));
    EXPECT_STREQ(".1", setupString(Slot::ProgVersion));
}

TEST_F(SetupConfigTest, LongValuesAreCutTo1023Bytes) {
    std::string value(1500, 'x');
    value[1022] = 'y';
    ASSERT_TRUE(load("ProgDesc=" + value + "\r\nDirDesc=" + std::string(1020, 'z') + "%s%s\r\n"));
    EXPECT_EQ(std::string(1022, 'x') + "y", setupString(Slot::ProgDesc));
    EXPECT_EQ(1023u, strlen(setupString(Slot::DirDesc))) << "formatting stops at the slot's size";
}

TEST_F(SetupConfigTest, FileTypeValuesStopAtTheFirstMissingOne) {
    ASSERT_TRUE(load("", "[FileType]\r\nType=Notes.Doc\r\nExtension=.nte\r\n"
                         "Open=\"\"%s\\Notes.exe\" \"%%1\"\"\r\nIcon=%s\\Notes.exe,0\\n\r\n"));
    EXPECT_STREQ("Notes.Doc", fileTypeValue(FileTypeValue::Type));
    EXPECT_STREQ(".nte", fileTypeValue(FileTypeValue::Extension));
    EXPECT_STREQ("\"%s\\Notes.exe\" \"%%1\"", fileTypeValue(FileTypeValue::Open)) << "stored unformatted";
    EXPECT_STREQ("%s\\Notes.exe,0\r\n", fileTypeValue(FileTypeValue::Icon));

    ASSERT_TRUE(load("", "[FileType]\r\nType=Notes.Doc\r\nOpen=x\r\nIcon=y\r\n"));
    EXPECT_STREQ("Notes.Doc", fileTypeValue(FileTypeValue::Type));
    EXPECT_STREQ("", fileTypeValue(FileTypeValue::Extension));
    EXPECT_STREQ("", fileTypeValue(FileTypeValue::Open));
    EXPECT_STREQ("", fileTypeValue(FileTypeValue::Icon));
}

TEST_F(SetupConfigTest, ReadIniStringAndIntegers) {
    ASSERT_TRUE(writeFile(dir_ / "a.ini", "[S]\r\nlong=abcdefgh\r\nnumber=-42\r\n"));
    const std::string file = dir_ / "a.ini";
    char buffer[6];
    memset(buffer, 0xBD, sizeof buffer);
    EXPECT_EQ(5u, readIniString("S", "long", "", buffer, sizeof buffer, file.c_str()));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(0u, readIniString("S", "missing", "", buffer, sizeof buffer, file.c_str()));
    EXPECT_STREQ("", buffer);

    EXPECT_EQ(static_cast<UINT>(-42), readIniInt("S", "number", 7, file.c_str()));
    EXPECT_EQ(7u, readIniInt("S", "missing", 7, file.c_str()));
    writeIniInt("S", "written", -2147483647 - 1, file.c_str());
    char text[16];
    readIniString("S", "written", "", text, sizeof text, file.c_str());
    EXPECT_STREQ("-2147483648", text);
}

}  // namespace
