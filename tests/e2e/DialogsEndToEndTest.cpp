// The example setup.exe run interactively: what its install prompt and
// directory dialog show, and where the answers lead.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "PrefixState.h"
#include "ProcessRunner.h"
#include "Responders.h"
#include "TestSupport.h"
#include "res/resource.h"

namespace {

// The example setup INI's names and EN texts, as the installer formats them.
const char kProgName[] = "Sample Notes";
const char kInstallDesc[] =
    "Do you want to install Sample Notes 1.2 on this computer?\r\n\r\n"
    "Click Yes to install Sample Notes, or No to cancel.";
const char kInstallFailed[] = "Sample Notes has not been installed.";
const char kInstallCompleted[] = "Sample Notes 1.2 has been installed.";

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SampleNotes";
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SampleNotes.exe";
const char kVendorKey[] = "SOFTWARE\\QRB\\Sample Notes";  // only the example's: tests run side by side
const std::string kDefaultInstallDir = programFilesFolder() + "\\SampleNotes";

// Writes REG_SZ values, creating the key; what an earlier install left.
bool writeRegistryStrings(HKEY root, const std::string& key,
                          const std::vector<std::pair<std::string, std::string>>& values) {
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool written = true;
    for (const auto& value : values) {
        written = written && RegSetValueExA(handle, value.first.c_str(), 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(value.second.c_str()),
                                            static_cast<DWORD>(value.second.size() + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(handle);
    return written;
}

bool isPrompt(const WindowInfo& window) { return window.control(IDC_DESCRIPTION) != nullptr; }
bool isDirectoryDialog(const WindowInfo& window) { return window.control(IDC_EXPLORE) != nullptr; }

std::string controlText(const WindowInfo& window, int id) {
    const ControlInfo* control = window.control(id);
    return control ? control->text : "<no control " + std::to_string(id) + ">";
}

bool isControlVisible(const WindowInfo& window, int id) {
    const ControlInfo* control = window.control(id);
    return control && control->visible;
}

std::string stagingDir() {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + kProgName;
}

// Removes what an install of the example leaves, before and after each test:
// the tests share one prefix.
void removeExampleInstallation() {
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kAppPathsKey);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kVendorKey);
    deleteRegistryTree(HKEY_CLASSES_ROOT, ".snote");
    deleteRegistryTree(HKEY_CLASSES_ROOT, "SampleNotes.Document");
    removeFileTree(kDefaultInstallDir);
    removeFileTree(specialFolder(CSIDL_PERSONAL) + "\\SampleNotes");
    removeFileTree(specialFolder(CSIDL_PROGRAMS) + "\\" + kProgName);
    removeFileTree(specialFolder(CSIDL_DESKTOP) + "\\" + kProgName + ".lnk");
    removeFileTree(stagingDir());
}

// The installed program, started by the installer at its end, shows a window
// of its own outside the installer's process; it is closed so that it does
// not outlive the test.
void closeStartedProgram() {
    if (HWND window = waitForTopLevelWindow(kProgName, 10000)) closeTopLevelWindow(window, 5000);
}

class InteractiveSetupTest : public ::testing::Test {
protected:
    void SetUp() override { removeExampleInstallation(); }
    void TearDown() override { removeExampleInstallation(); }

    RunResult runSetup(Responder responder) {
        RunOptions options;
        options.commandLine = quoteArgument(ownFolder() + "\\setup.exe");
        options.timeoutMs = 60000;
        options.responder = std::move(responder);
        return runProgram(options);
    }
};

TEST_F(InteractiveSetupTest, NoInThePromptInstallsNothing) {
    RunResult run = runSetup(pressWhenMatching(
        {{kProgName, kInstallFailed, "OK"}}, [](const WindowInfo& window) {
            if (isPrompt(window)) return Response::press(IDNO);
            return Response::close().markUnexpected("not expected");
        }));
    ASSERT_TRUE(run.started) << run.describe();
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    ASSERT_EQ(2u, run.windows.size()) << run.describe();

    const WindowInfo& prompt = run.windows[0].window;
    ASSERT_TRUE(isPrompt(prompt)) << run.describe();
    EXPECT_EQ(kProgName, prompt.caption);
    EXPECT_EQ(kInstallDesc, controlText(prompt, IDC_DESCRIPTION));
    EXPECT_EQ(kDefaultInstallDir, controlText(prompt, IDC_INSTALL_DIR));
    EXPECT_EQ("Install folder:", controlText(prompt, IDC_PROG_DIR_LABEL));
    EXPECT_EQ((std::vector<std::string>{"Yes", "No", "Change..."}), prompt.buttonTexts());
    EXPECT_FALSE(isControlVisible(prompt, IDC_BASE_DIR));

    const WindowInfo& failed = run.windows[1].window;
    EXPECT_TRUE(failed.isMessageBox());
    EXPECT_EQ(kInstallFailed, failed.messageText);

    EXPECT_FALSE(pathExists(stagingDir())) << "nothing was extracted";
    EXPECT_FALSE(pathExists(kDefaultInstallDir));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(InteractiveSetupTest, AnExistingInstallationIsOnlyConfirmed) {
    TempDir base;
    ASSERT_TRUE(writeRegistryStrings(HKEY_LOCAL_MACHINE, kUninstallKey,
                                     {{"InstallLocation", base / "SampleNotes"}, {"DisplayVersion", "1.2"}}));
    RunResult run = runSetup(pressWhenMatching(
        {{kProgName, kInstallFailed, "OK"}}, [](const WindowInfo& window) {
            if (isPrompt(window)) return Response::close();  // Escape
            return Response::close().markUnexpected("not expected");
        }));
    ASSERT_TRUE(run.started) << run.describe();
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    ASSERT_EQ(2u, run.windows.size()) << run.describe();
    const WindowInfo& prompt = run.windows[0].window;
    ASSERT_TRUE(isPrompt(prompt)) << run.describe();
    EXPECT_EQ(kInstallDesc, controlText(prompt, IDC_DESCRIPTION));
    EXPECT_EQ((std::vector<std::string>{"Yes", "No"}), prompt.buttonTexts());
    for (int hidden : {IDC_BASE_DIR, IDC_PROG_DIR_LABEL, IDC_INSTALL_DIR, IDC_CHANGE}) {
        EXPECT_FALSE(isControlVisible(prompt, hidden)) << "control " << hidden;
    }
    EXPECT_EQ(kInstallFailed, run.windows[1].window.messageText);
}

TEST_F(InteractiveSetupTest, ChangeToAnotherDirectoryThenYesInstallsThere) {
    TempDir base;
    std::string chosen = base.path();
    int promptOffers = 0;
    std::string previewAfterChange;
    RunResult run = runSetup(pressWhenMatching(
        {{kProgName, kInstallCompleted, "OK"}}, [&](const WindowInfo& window) {
            if (isDirectoryDialog(window)) return Response().thenSetText(IDC_BASE_DIR, chosen).thenPress(IDOK);
            if (!isPrompt(window)) return Response::close().markUnexpected("not expected");
            if (++promptOffers == 1) return Response::press(IDC_CHANGE);
            previewAfterChange = controlText(window, IDC_INSTALL_DIR);
            return Response::press(IDYES);
        }));
    closeStartedProgram();
    ASSERT_TRUE(run.started) << run.describe();
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(1u, run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    EXPECT_EQ(chosen + "\\SampleNotes", previewAfterChange);

    EXPECT_TRUE(pathExists(chosen + "\\SampleNotes\\SampleNotes.exe"));
    EXPECT_FALSE(pathExists(kDefaultInstallDir));
    EXPECT_EQ(chosen + "\\SampleNotes", readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"));
    // The documents folder's icon is the program where it was installed.
    std::string desktopIni = readFileContents(specialFolder(CSIDL_PERSONAL) + "\\SampleNotes\\Desktop.INI").value_or("");
    EXPECT_NE(std::string::npos, desktopIni.find("\r\nIconFile=" + chosen + "\\SampleNotes\\SampleNotes.exe\r\n"))
        << desktopIni;
    EXPECT_FALSE(pathExists(stagingDir())) << "the staging tree is removed";
}

// Told that its taskbar button exists (as the shell tells it; Wine's shell
// does not), the installer shows its progress through the platform's own
// taskbar interface where it has one: the run still installs everything,
// shortcuts included, and says so.
TEST_F(InteractiveSetupTest, WithItsTaskbarButtonAnnouncedTheInstallCompletes) {
    const UINT buttonCreated = RegisterWindowMessageA("TaskbarButtonCreated");
    bool announced = false;
    RunResult run = runSetup(pressWhenMatching(
        {{kProgName, kInstallCompleted, "OK"}}, [&](const WindowInfo& window) {
            if (!isPrompt(window)) return Response::close().markUnexpected("not expected");
            DWORD_PTR result = 0;
            announced = window.owner && SendMessageTimeoutA(window.owner, buttonCreated, 0, 0, SMTO_NORMAL, 10000,
                                                           &result) != 0;
            return Response::press(IDYES);
        }));
    closeStartedProgram();
    ASSERT_TRUE(run.started) << run.describe();
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_TRUE(announced);
    EXPECT_EQ(1u, run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    EXPECT_TRUE(pathExists(kDefaultInstallDir + "\\SampleNotes.exe"));
    EXPECT_TRUE(pathExists(specialFolder(CSIDL_DESKTOP) + "\\" + kProgName + ".lnk"));
}

}  // namespace
