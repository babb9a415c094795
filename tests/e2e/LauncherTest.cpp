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
const std::string kInstallDir = programFilesFolder() + "\\PlainNotes";
const std::string kLauncher = kInstallDir + "\\PlainNotes.exe";
const std::string kProgram = kInstallDir + "\\PlainNotes.program.exe";
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
            if (_stricmp(imageOfWindow(window).c_str(), kProgram.c_str()) != 0) continue;
            return closeTopLevelWindow(window, 5000) == CloseOutcome::Closed;
        }
        Sleep(50);
    } while (GetTickCount() - start < 15000);
    return false;
}

// Why the image's sections do not follow each other as the platform's
// loader demands (each where the one before ends, rounded up to the section
// alignment, the first after the headers), or "". Read from the file: Wine
// maps images with holes too.
std::string sectionLayoutProblem(const std::string& path) {
    std::string b = readFileContents(path).value_or("");
    auto u16 = [&](size_t at) { return at + 2 <= b.size() ? uint32_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8) : 0u; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    size_t pe = u32(0x3C);
    if (b.size() < pe + 24 || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return "no PE header";
    uint32_t count = u16(pe + 6), optionalSize = u16(pe + 20);
    size_t optional = pe + 24;
    uint32_t alignment = u32(optional + 32), headers = u32(optional + 60);
    if (alignment == 0) return "no section alignment";
    auto round = [&](uint32_t v) { return (v + alignment - 1) / alignment * alignment; };
    uint32_t expected = round(headers);
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = optional + optionalSize + 40 * i;
        if (at + 40 > b.size()) return "section table cut";
        uint32_t size = u32(at + 8), address = u32(at + 12);
        if (address != expected) return "section " + std::to_string(i) + " starts at " + std::to_string(address) +
                                       ", not at " + std::to_string(expected);
        expected = round(address + size);
    }
    return "";
}

// The ProductName of a file's version record, as the file browser reads it.
std::string productName(const std::string& path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return "(no version record)";
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "(unreadable)";
    char* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\StringFileInfo\\000004B0\\ProductName", reinterpret_cast<void**>(&text),
                        &length) || !text) {
        return "(no ProductName)";
    }
    return text;
}

BOOL CALLBACK noteFound(HMODULE, LPCSTR, LPSTR, LONG_PTR found) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// An icon group in an image, which the shell shows (index 0: the first).
bool hasIconGroup(const std::string& path) {
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image) return false;
    bool found = false;
    EnumResourceNamesA(image, RT_GROUP_ICON, noteFound, reinterpret_cast<LONG_PTR>(&found));
    FreeLibrary(image);
    return found;
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
    // The launcher as installed carries the program's version record and
    // icon, and a section table the platform's loader takes.
    EXPECT_EQ("1.2", readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion").value_or("(none)"));
    EXPECT_EQ("Sample Notes", productName(kLauncher));
    EXPECT_TRUE(hasIconGroup(kLauncher));
    EXPECT_EQ("", sectionLayoutProblem(kLauncher));
    EXPECT_EQ("", sectionLayoutProblem(kProgram));

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
    EXPECT_EQ("\"" + kProgram + "\"", seen[0]);  // the installer's start
    EXPECT_EQ("\"" + kProgram + "\" \"C:\\my notes.txt\" /x", seen[2]);
    EXPECT_EQ(0, _stricmp(link->workingDirectory.c_str(), seen[3].c_str())) << seen[3];

    // The uninstall entry's command, as the program list runs it.
    std::string command = readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").value_or("");
    EXPECT_EQ("\"" + kLauncher + "\" -u", command);
    RunResult run = runUninstallCommand(command, confirmAndAcknowledge);
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    expectRemoved();
    EXPECT_EQ(4u, starts().size()) << "\"-u\" reached the program: " << readFileContents(marker_).value_or("");
}

TEST_F(LauncherTest, QuietUninstallShowsNothingAndNeverStartsTheProgram) {
    ScopedEnvironment marker("PLAIN_PROGRAM_MARKER", marker_.c_str());
    ASSERT_NO_FATAL_FAILURE(install());
    std::string command = readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").value_or("");
    RunResult run = runUninstallCommand(
        command + " -s", [](const WindowInfo&) { return Response::close().markUnexpected("a quiet uninstall"); });
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    EXPECT_TRUE(run.windows.empty()) << run.describe();
    expectRemoved();
    EXPECT_EQ(2u, starts().size()) << readFileContents(marker_).value_or("");
}

}  // namespace
