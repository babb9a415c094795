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

struct LinkProperties {
    std::string target, workingDir, description, arguments;
};

// Reads a shortcut file back through the shell's link object.
bool readLink(const std::string& path, LinkProperties& link) {
    IShellLinkA* shellLink = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void**>(&shellLink)) != S_OK) {
        return false;
    }
    IPersistFile* file = nullptr;
    bool loaded = false;
    if (shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)) == S_OK) {
        WCHAR widePath[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
        loaded = file->Load(widePath, STGM_READ) == S_OK;
        file->Release();
    }
    char text[1024];
    if (loaded && shellLink->GetPath(text, sizeof text, nullptr, 0) == S_OK) link.target = text;
    if (loaded && shellLink->GetWorkingDirectory(text, sizeof text) == S_OK) link.workingDir = text;
    if (loaded && shellLink->GetDescription(text, sizeof text) == S_OK) link.description = text;
    if (loaded && shellLink->GetArguments(text, sizeof text) == S_OK) link.arguments = text;
    shellLink->Release();
    return loaded;
}

std::string specialFolder(int (*lookUp)(char*)) {
    char path[MAX_PATH];
    EXPECT_EQ(1, lookUp(path));
    return path;
}

// COM is initialised on the test's thread, so that the shortcuts can be read
// back: createShortcuts then finds it initialised already (S_FALSE).
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
        const std::string paths[] = {
            specialFolder(getProgramsFolder) + "\\" + progName + "\\" + progName + ".lnk",
            specialFolder(getDesktopFolder) + "\\" + progName + ".lnk",
        };
        for (const std::string& path : paths) {
            SCOPED_TRACE(path);
            LinkProperties link;
            ASSERT_TRUE(readLink(path, link));
            EXPECT_EQ(target, link.target);
            EXPECT_EQ(temp / "App Folder\\bin", link.workingDir);
            EXPECT_EQ(description, link.description);
            EXPECT_EQ("", link.arguments);
        }
    }
    // COM is still initialised on this thread: one CoUninitialize was made.
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
}

TEST_F(ShortcutsTest, PathsThatDoNotFitMakeNoShortcut) {
    const std::string programs = specialFolder(getProgramsFolder);
    const std::string desktop = specialFolder(getDesktopFolder);

    // The program group folder would not fit: no shortcut at all.
    std::string progName = useProgName(uniqueName("Long ") + std::string(259 - programs.size(), 'n'));
    createShortcuts();
    EXPECT_FALSE(pathExists(desktop + "\\" + progName + ".lnk"));

    // The folder fits, its shortcut does not: only the desktop one is made.
    std::string name = uniqueName("Long ");
    progName = useProgName(name + std::string(259 - programs.size() - 1 - 4 - name.size(), 'n'));
    ASSERT_LT(desktop.size(), programs.size());
    createShortcuts();
    EXPECT_EQ(std::vector<std::string>(), listTree(programs + "\\" + progName));
    EXPECT_TRUE(pathExists(programs + "\\" + progName));
    EXPECT_TRUE(pathExists(desktop + "\\" + progName + ".lnk"));
}

TEST(CreateShellLink, FailsWithoutSavingOrTarget) {
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    TempDir temp;
    EXPECT_EQ(0, createShellLink((temp / "missing folder\\a.lnk").c_str(), "C:\\app\\a.exe", "", ""));
    EXPECT_EQ(0, createShellLink((temp / "b.lnk").c_str(), "a.exe", "", ""));  // no backslash
    EXPECT_EQ(1, createShellLink((temp / "c.lnk").c_str(), "C:\\app\\a.exe", "-x", nullptr));
    LinkProperties link;
    EXPECT_TRUE(readLink(temp / "c.lnk", link));
    EXPECT_EQ("-x", link.arguments);
    CoUninitialize();
}

}  // namespace
