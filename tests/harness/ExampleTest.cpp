// The example that the build packs by default: the setup INI as embedded in
// setup.exe, and Sample Notes, which the installer starts at its end, finds
// by its window title and asks to close, and which its uninstall entry runs
// with "-u".
#include <gtest/gtest.h>

#include "CustomInstaller.h"
#include "PrefixState.h"
#include "ProcessRunner.h"
#include "Responders.h"
#include "TestSupport.h"

namespace {

const char* const kLanguageKeys[] = {
    "ProgDesc", "DirDesc", "ExtDesc", "InstallDesc", "NewerInstalled", "InstallBaseDir", "InstallProgDir",
    "InstallChange", "InstallBrowse", "InstallCompleted", "InstallFailed", "FileCopyFailed", "NotDir",
    "DirCreateFailed", "InstallOk", "InstallCancel", "InstallYes", "InstallNo", "Uninstall", "Installing",
    "UninstallConfirm", "UninstallDone", "UninstallKept", "UninstallFileFailed", "UninstallIncomplete",
    "UninstallNothing", "UninstallRunning",
};

std::string profileString(const std::string& file, const char* section, const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, file.c_str());
    return value;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

TEST(ExampleSetupIni, IsWindows1252WithCrLfLines) {
    std::optional<std::string> ini = readDataResource(ownFolder() + "\\setup.exe", kSetupIniResource);
    ASSERT_TRUE(ini);
    EXPECT_NE(0u, ini->rfind("\xEF\xBB\xBF", 0)) << "no byte-order mark";
    for (size_t at = ini->find('\n'); at != std::string::npos; at = ini->find('\n', at + 1)) {
        ASSERT_TRUE(at > 0 && (*ini)[at - 1] == '\r') << "line ending at byte " << at;
    }
    EXPECT_NE(std::string::npos, ini->find("ProgDesc=\xC9" "crire")) << "French E acute as one Windows-1252 byte";
    EXPECT_EQ(std::string::npos, ini->find("\xC3\x89")) << "no UTF-8";
}

TEST(ExampleSetupIni, HoldsTheNamesAndEveryTextInEveryLanguage) {
    TempDir dir;
    const std::string file = dir / "setup.ini";
    ASSERT_TRUE(writeFile(file, readDataResource(ownFolder() + "\\setup.exe", kSetupIniResource).value_or("")));
    EXPECT_EQ("Sample Notes", profileString(file, "Settings", "ProgName"));
    EXPECT_EQ("1.2", profileString(file, "Settings", "ProgVersion"));
    EXPECT_EQ("SampleNotes", profileString(file, "Settings", "ProgFile"));
    EXPECT_EQ("SampleNotes", profileString(file, "Settings", "ProgDir"));
    EXPECT_EQ("SampleNotes.Document", profileString(file, "FileType", "Type"));
    EXPECT_EQ(".snote", profileString(file, "FileType", "Extension"));
    // One pair of quotes survives the profile reader; %%1 becomes %1 when formatted.
    EXPECT_EQ("\"%s\\SampleNotes.exe\" \"%%1\"", profileString(file, "FileType", "Open"));
    EXPECT_EQ("%s\\SampleNotes.exe,0", profileString(file, "FileType", "Icon"));
    for (const char* language : {"EN", "FR", "NL"}) {
        for (const char* key : kLanguageKeys) {
            SCOPED_TRACE(std::string(language) + " " + key);
            std::string text = profileString(file, language, key);
            EXPECT_FALSE(text.empty());
            // The installer formats every text with three texts: ProgName,
            // ProgVersion, ProgName; no other directive is given arguments.
            EXPECT_LE(count(text, "%s"), 3u) << text;
            EXPECT_EQ(count(text, "%"), count(text, "%s")) << text;
        }
        EXPECT_EQ(3u, count(profileString(file, language, "InstallDesc"), "%s")) << language;
        EXPECT_EQ(1u, count(profileString(file, language, "InstallFailed"), "%s")) << language;
    }
}

TEST(SampleNotes, CarriesItsIconAndVersionLanguageNeutral) {
    const std::string program = ownFolder() + "\\SampleNotes.exe";
    EXPECT_EQ(std::vector<WORD>{kNeutralLanguage}, resourceLanguages(program, RT_VERSION, 1));
    EXPECT_EQ(std::vector<WORD>{kNeutralLanguage}, resourceLanguages(program, RT_GROUP_ICON, 1));

    DWORD handle = 0;
    std::string block(GetFileVersionInfoSizeA(program.c_str(), &handle), '\0');
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(block.size()), &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &length) && length != 0);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwProductVersionMS);
}

// setup.exe as setup-pack build writes it: the platform finds every resource
// of the stub and of the build in the neutral language, and reads the version
// block written for the example.
TEST(ExampleSetupExe, CarriesEveryResourceAndTheExamplesVersionBlock) {
    const std::string setup = ownFolder() + "\\setup.exe";
    const struct {
        LPCSTR type;
        WORD id;
    } resources[] = {
        {RT_RCDATA, kPayloadResource}, {RT_RCDATA, kSetupIniResource}, {RT_GROUP_ICON, 131},
        {RT_DIALOG, 132},              {RT_DIALOG, 134},               {RT_VERSION, 1},
        {RT_MANIFEST, 1},
    };
    for (const auto& r : resources) {
        EXPECT_EQ(std::vector<WORD>{kNeutralLanguage}, resourceLanguages(setup, r.type, r.id))
            << "type " << reinterpret_cast<ULONG_PTR>(r.type) << " id " << r.id;
    }

    DWORD handle = 0;
    std::string block(GetFileVersionInfoSizeA(setup.c_str(), &handle), '\0');
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(setup.c_str(), 0, static_cast<DWORD>(block.size()), &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &length) && length != 0);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwProductVersionMS);
    const struct {
        const char* key;
        const char* value;
    } strings[] = {
        {"ProductName", "Sample Notes"}, {"ProductVersion", "1.2"},       {"FileVersion", "1.2"},
        {"FileDescription", "Sample Notes Setup"}, {"OriginalFilename", "setup.exe"},
    };
    for (const auto& s : strings) {
        char* value = nullptr;
        UINT units = 0;
        std::string path = std::string("\\StringFileInfo\\000004B0\\") + s.key;
        ASSERT_TRUE(VerQueryValueA(&block[0], path.c_str(), reinterpret_cast<void**>(&value), &units)) << s.key;
        EXPECT_EQ(s.value, std::string(value)) << s.key;
    }
}

struct LaunchCase {
    const char* name;
    std::string arguments;     // after the program's path
    bool quotedPath;
    std::string documentLine;  // the window's fourth line
};

// Started as the installer starts it (its path unquoted, spaces and all) or
// as the file type opens a document, it shows its window with the exact title
// and goes on WM_SYSCOMMAND SC_CLOSE, as the installer asks running copies to.
TEST(SampleNotes, ShowsItsWindowAndClosesOnSystemClose) {
    TempDir dir;
    const std::string folder = dir / "Program Files\\SampleNotes";
    const std::string program = folder + "\\SampleNotes.exe";
    ASSERT_TRUE(writeFile(folder + "\\placeholder", ""));
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\SampleNotes.exe").c_str(), program.c_str(), FALSE));
    const LaunchCase cases[] = {
        {"unquoted path with spaces", "", false, ""},
        {"document to open", " \"C:\\My Notes\\a.snote\"", true, "Document: C:\\My Notes\\a.snote"},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartedProgram notes;
        ASSERT_TRUE(notes.start((c.quotedPath ? "\"" + program + "\"" : program) + c.arguments, folder));
        HWND window = waitForTopLevelWindow("Sample Notes", 10000, notes.processId());
        ASSERT_TRUE(window);
        WindowInfo info = readWindow(window);
        ASSERT_EQ(4u, info.controls.size()) << describeWindow(info);
        EXPECT_EQ("Sample Notes 1.2.0.0", info.controls[0].text);
        EXPECT_EQ("Running from: " + folder, info.controls[1].text);
        EXPECT_EQ("Your notes are in Documents\\SampleNotes.", info.controls[2].text);
        EXPECT_EQ(c.documentLine, info.controls[3].text);
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD exitCode = 1;
        EXPECT_TRUE(notes.waitForExit(5000, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }
}

// Run from the build folder, where no setup-uninstall.ini lies beside it,
// "-u" finds no install: the removal helper says so, removes nothing, and
// the program ends with the failure code; the quiet variant shows nothing.
TEST(SampleNotes, UninstallArgumentWithoutInstallInformationRemovesNothing) {
    const struct {
        const char* arguments;
        size_t windows;
    } cases[] = {{" -u", 1}, {" -u -s", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TempDir dir;
        const std::string program = dir / "SampleNotes.exe";
        ASSERT_TRUE(CopyFileA((ownFolder() + "\\SampleNotes.exe").c_str(), program.c_str(), FALSE));
        RunOptions options;
        options.commandLine = quoteArgument(program) + c.arguments;
        options.followChildren = true;
        options.responder = pressWhenMatching({{"Uninstall", "setup-uninstall.ini", "OK"}});
        RunResult run = runProgram(options);
        ASSERT_FALSE(run.timedOut) << run.describe();
        EXPECT_EQ(5u, run.exitCode) << run.describe();  // SETUP_UNINSTALL_FAILED
        EXPECT_EQ(c.windows, run.windows.size()) << run.describe();
        EXPECT_EQ(0u, run.problemCount()) << run.describe();
        EXPECT_TRUE(pathExists(program));
    }
}

}  // namespace
