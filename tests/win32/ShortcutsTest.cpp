#include "registration/Shortcuts.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <string.h>

#include <string>
#include <vector>

#include "DeployHelpers.h"
#include "TestSupport.h"
#include "common/Format.h"

namespace {

// The shortcut's properties as one text, so that a failure shows them all.
std::string linkText(const std::string& path) {
    std::optional<ShortcutInfo> link = readShortcut(path);
    if (!link) return "(unreadable)";
    return "target=" + link->target + " dir=" + link->workingDirectory + " args=" + link->arguments +
           " description=" + link->description;
}

// COM is initialised on the test's thread beforehand: createShortcuts finds
// it initialised already (S_FALSE) and must leave it so.
class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        memset(&installState, 0, sizeof installState);
        ASSERT_TRUE(writeFile(target, "program"));
        copyText(installState.programPath, kPathSize, target.c_str());
    }
    void TearDown() override {
        for (const std::string& name : names) removeShortcuts(name);
        CoUninitialize();
    }
    std::string useProgName(const std::string& name) {
        names.push_back(name);
        setSlot(Slot::ProgName, name);
        return name;
    }

    TempDir temp;
    std::string target = temp / "App Folder\\bin\\Notes.exe";
    std::vector<std::string> names;
};

TEST_F(ShortcutsTest, MenuAndDesktopShortcutsPointAtTheProgram) {
    for (const char* description : {"Takes notes", ""}) {
        SCOPED_TRACE(description);
        const std::string progName = useProgName(uniqueName("Shortcut Test "));
        setSlot(Slot::ProgDesc, description);
        createShortcuts();
        const std::string expected =
            "target=" + target + " dir=" + temp / "App Folder\\bin" + " args= description=" + description;
        EXPECT_EQ(expected, linkText(specialFolder(CSIDL_PROGRAMS) + "\\" + progName + "\\" + progName + ".lnk"));
        EXPECT_EQ(expected, linkText(specialFolder(CSIDL_DESKTOP) + "\\" + progName + ".lnk"));
    }
    // COM is still initialised on this thread: one CoUninitialize was made.
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
}

TEST_F(ShortcutsTest, PathsThatDoNotFitMakeNoShortcut) {
    const std::string programs = specialFolder(CSIDL_PROGRAMS);
    const std::string desktop = specialFolder(CSIDL_DESKTOP);

    // The program group folder would not fit: no shortcut at all.
    std::string progName = useProgName(uniqueName("Long ") + std::string(259 - programs.size(), 'n'));
    createShortcuts();
    EXPECT_FALSE(pathExists(desktop + "\\" + progName + ".lnk"));

    // The folder fits, its shortcut does not: only the desktop one is made.
    std::string name = uniqueName("Long ");
    progName = useProgName(name + std::string(259 - programs.size() - 1 - 4 - name.size(), 'n'));
    ASSERT_LT(desktop.size(), programs.size());
    createShortcuts();
    EXPECT_EQ(std::vector<std::string>(), treePaths(programs + "\\" + progName));
    EXPECT_TRUE(pathExists(programs + "\\" + progName));
    EXPECT_TRUE(pathExists(desktop + "\\" + progName + ".lnk"));
}

TEST(CreateShellLink, FailsWithoutSavingOrTarget) {
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    TempDir temp;
    EXPECT_EQ(0, createShellLink((temp / "missing folder\\a.lnk").c_str(), "C:\\app\\a.exe", "", ""));
    EXPECT_EQ(0, createShellLink((temp / "b.lnk").c_str(), "a.exe", "", ""));  // no backslash
    EXPECT_EQ(1, createShellLink((temp / "c.lnk").c_str(), "C:\\app\\a.exe", "-x", nullptr));
    EXPECT_EQ("target=C:\\app\\a.exe dir=C:\\app args=-x description=", linkText(temp / "c.lnk"));
    CoUninitialize();
}

}  // namespace
