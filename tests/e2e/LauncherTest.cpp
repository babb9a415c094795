// The launcher end to end: a program that cannot handle "-u" (plain-program,
// as Program/PlainNotes.exe), installed by launcher-setup.exe, which
// setup-pack build --launcher made at build time. Its shortcut starts the
// program itself, whose window appears under its own title; the registered
// UninstallString removes everything; "-u" never reaches the program.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "InstallerRun.h"
#include "PrefixState.h"
#include "ProcessRunner.h"
#include "TestSupport.h"

namespace {

const char kProgName[] = "Plain Notes";
const char kInstallDir[] = "C:\\Program Files\\PlainNotes";
const char kLauncher[] = "C:\\Program Files\\PlainNotes\\PlainNotes.exe";
const char kProgram[] = "C:\\Program Files\\PlainNotes\\PlainNotes.program.exe";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PlainNotes";
constexpr DWORD kProgramExitCode = 7;  // plain-program's, when its window is closed

// The image a window's process runs, or "".
std::string imageOfWindow(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) return "";
    char image[MAX_PATH] = "";
    DWORD size = sizeof image;
    bool ok = QueryFullProcessImageNameA(process, 0, image, &size);
    CloseHandle(process);
    return ok ? image : "";
}

// Waits for the program's window (of the installed PlainNotes.program.exe)
// and closes it; false when none appeared.
bool closeProgramWindow() {
    DWORD start = GetTickCount();
    do {
        for (HWND window : findTopLevelWindows(kProgName)) {
            if (_stricmp(imageOfWindow(window).c_str(), kProgram) != 0) continue;
            return closeTopLevelWindow(window, 5000) == CloseOutcome::Closed;
        }
        Sleep(50);
    } while (GetTickCount() - start < 15000);
    return false;
}

Response confirmAndAcknowledge(const WindowInfo& window) {
    if (!window.isMessageBox()) return Response::close().markUnexpected("not a message box");
    if (window.button("Yes")) return Response::press(IDYES);
    if (window.button("Retry")) return Response::press(IDCANCEL);
    return Response::press(IDOK);
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        marker_ = dir_ / "starts.txt";
        ProgramNames names("Unused");
        names.progName = kProgName;
        names.progDir = names.progFile = "PlainNotes";
        names_ = names;
    }
    void TearDown() override {
        removeInstalled(names_, kInstallDir);
        removeFileTree(documents());
    }

    std::string documents() const { return specialFolder(CSIDL_PERSONAL) + "\\PlainNotes"; }
    std::string desktopLink() const { return specialFolder(CSIDL_DESKTOP) + "\\Plain Notes.lnk"; }
    std::string menuGroup() const { return specialFolder(CSIDL_PROGRAMS) + "\\Plain Notes"; }

    // The starts plain-program recorded: command line and folder, two lines each.
    std::vector<std::string> starts() const {
        std::vector<std::string> lines;
        std::string text = readFileContents(marker_).value_or("");
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        return lines;
    }

    // launcher-setup.exe -s; the program it starts at the end is the real one.
    void install() {
        RunOptions options;
        options.commandLine = quoteArgument(ownFolder() + "\\launcher-setup.exe") + " -s";
        options.responder = [](const WindowInfo& window) {
            return window.isMessageBox() ? Response::press(IDOK) : Response::close().markUnexpected("no dialog");
        };
        RunResult run = runProgram(options);
        ASSERT_EQ(1u, run.exitCode) << run.describe();
        ASSERT_TRUE(closeProgramWindow()) << "the installer's start of the program showed no window";
        ASSERT_TRUE(pathExists(kLauncher));
        ASSERT_TRUE(pathExists(kProgram));
    }

    void expectRemoved() {
        EXPECT_FALSE(pathExists(kInstallDir));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\PlainNotes.exe"));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\Plain Notes"));
        EXPECT_FALSE(pathExists(desktopLink()));
        EXPECT_FALSE(pathExists(menuGroup()));
        EXPECT_EQ("a note of the user", readFileContents(documents() + "\\Note.txt").value_or("(missing)"));
    }

    TempDir dir_;
    std::string marker_;
    ProgramNames names_{"Unused"};
};

TEST_F(LauncherTest, TheShortcutStartsTheProgramAndTheUninstallEntryRemovesIt) {
    ScopedEnvironment marker("PLAIN_PROGRAM_MARKER", marker_.c_str());
    ASSERT_NO_FATAL_FAILURE(install());
    // The version record the launcher carries is the program's.
    EXPECT_EQ("1.2", readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion").value_or("(none)"));

    // The desktop shortcut, started as the shell starts it, with a document.
    std::optional<ShortcutInfo> link = readShortcut(desktopLink());
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(kLauncher, link->target);
    StartedProgram started;
    ASSERT_TRUE(started.start(quoteArgument(link->target) + " \"C:\\my notes.txt\" /x", link->workingDirectory))
        << started.startError();
    ASSERT_TRUE(closeProgramWindow()) << "no window titled " << kProgName << " of the program";
    DWORD code = 0;
    ASSERT_TRUE(started.waitForExit(10000, &code)) << "the launcher outlives its program";
    EXPECT_EQ(kProgramExitCode, code) << "the launcher does not pass the program's exit code back";
    std::vector<std::string> seen = starts();
    ASSERT_EQ(4u, seen.size()) << readFileContents(marker_).value_or("");
    EXPECT_EQ(std::string("\"") + kProgram + "\"", seen[0]);  // the installer's start
    EXPECT_EQ(std::string("\"") + kProgram + "\" \"C:\\my notes.txt\" /x", seen[2]);
    EXPECT_EQ(0, _stricmp(link->workingDirectory.c_str(), seen[3].c_str())) << seen[3];

    // The uninstall entry's command, as the program list runs it.
    std::string command = readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").value_or("");
    EXPECT_EQ(std::string("\"") + kLauncher + "\" -u", command);
    RunOptions options;
    options.commandLine = command;
    options.followChildren = true;
    options.timeoutMs = 120000;
    options.responder = confirmAndAcknowledge;
    RunResult run = runProgram(options);
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    expectRemoved();
    EXPECT_EQ(4u, starts().size()) << "\"-u\" reached the program: " << readFileContents(marker_).value_or("");
}

TEST_F(LauncherTest, QuietUninstallShowsNothingAndNeverStartsTheProgram) {
    ScopedEnvironment marker("PLAIN_PROGRAM_MARKER", marker_.c_str());
    ASSERT_NO_FATAL_FAILURE(install());
    std::string command = readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").value_or("");
    RunOptions options;
    options.commandLine = command + " -s";
    options.followChildren = true;
    options.timeoutMs = 120000;
    options.responder = [](const WindowInfo&) { return Response::close().markUnexpected("a quiet uninstall"); };
    RunResult run = runProgram(options);
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    EXPECT_TRUE(run.windows.empty()) << run.describe();
    expectRemoved();
    EXPECT_EQ(2u, starts().size()) << readFileContents(marker_).value_or("");
}

}  // namespace
