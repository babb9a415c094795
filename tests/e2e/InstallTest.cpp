// setup.exe built with the example (Sample Notes 1.2), run unattended in the
// test's Wine prefix: what it installs, registers and links, how it updates
// an installation, and how it handles a program file held open.
// Before the platform headers, whose global "byte" its parameter would shadow.
#include "archive/ArchiveFormat.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <winternl.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "CustomInstaller.h"
#include "PrefixState.h"
#include "ProcessRunner.h"
#include "TestSupport.h"

namespace {

const char kProgName[] = "Sample Notes";
const char kCompleted[] = "Sample Notes 1.2 has been installed.";
const char kFailed[] = "Sample Notes has not been installed.";
const char kCopyFailed[] = "A file could not be copied. Close Sample Notes if it is running, then click Retry.";
const std::string kInstallDir = programFilesFolder() + "\\SampleNotes";
const std::string kProgram = kInstallDir + "\\SampleNotes.exe";
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SampleNotes";
const std::string kAppPathKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SampleNotes.exe";
const std::string kVendorKey = "SOFTWARE\\QRB\\Sample Notes";
const DWORD kShownAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// One file of the payload as the archive stores it.
struct StagedFile {
    std::string bytes;
    DWORD attributes;
    FILETIME lastWrite;
};

std::string setupExe() { return ownFolder() + "\\setup.exe"; }
std::string documentsDir() { return specialFolder(CSIDL_PERSONAL) + "\\SampleNotes"; }

// The files of setup.exe's own payload, by their path in the staging folder
// ("Program\SampleNotes.exe", ...), read with the archive's reading rules.
std::map<std::string, StagedFile> payloadFiles() {
    std::map<std::string, StagedFile> files;
    std::optional<std::string> archive = readDataResource(setupExe(), kPayloadResource);
    if (!archive) return files;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(archive->data());
    uint32_t size = static_cast<uint32_t>(archive->size());
    if (checkArchive(data, size) != ArchiveCheck::Accepted || hasWideNames(data)) return files;
    EntryWalker walker(data, size, false);
    ArchiveEntry entry;
    while (walker.next(entry) == EntryWalker::Entry) {
        if (entry.isDirectory()) continue;
        StagedFile file;
        file.bytes.resize(entry.sizeLow);
        uLongf length = entry.sizeLow;
        if (uncompress(reinterpret_cast<Bytef*>(&file.bytes[0]), &length, entry.packedData, entry.packedSizeLow) !=
                Z_OK ||
            length != entry.sizeLow) {
            continue;
        }
        file.attributes = entry.attributes;
        file.lastWrite = {entry.lastWriteTime.low, entry.lastWriteTime.high};
        files[std::string(reinterpret_cast<const char*>(entry.name), entry.nameUnits)] = file;
    }
    return files;
}

// The current directory of another process, from its process parameters.
std::string currentDirectoryOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return "";
    std::string folder;
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    // RTL_USER_PROCESS_PARAMETERS: the current directory's DOS path (a
    // UNICODE_STRING) follows four 32-bit fields and five pointer-sized ones
    // (the console handle, the console flags padded to a pointer, the three
    // standard handles).
    UNICODE_STRING path = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ReadProcessMemory(process, reinterpret_cast<char*>(peb.ProcessParameters) + 4 * 4 + 5 * sizeof(void*), &path, sizeof path,
                          nullptr)) {
        std::wstring wide(path.Length / 2, L'\0');
        if (ReadProcessMemory(process, path.Buffer, &wide[0], path.Length, nullptr)) {
            folder.assign(wide.begin(), wide.end());  // the test's paths are ASCII
        }
    }
    CloseHandle(process);
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

// Everything the example's installation leaves, removed before and after
// each test.
void removeInstallation() {
    for (HWND window : findTopLevelWindows(kProgName)) closeTopLevelWindow(window, 5000);
    removeFileTree(kInstallDir);
    removeFileTree(documentsDir());
    removeFileTree(specialFolder(CSIDL_PROGRAMS) + "\\" + kProgName);
    removeFileTree(specialFolder(CSIDL_DESKTOP) + "\\" + kProgName + ".lnk");
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kVendorKey);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kAppPathKey);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey);
    deleteRegistryTree(HKEY_CLASSES_ROOT, ".snote");
    deleteRegistryTree(HKEY_CLASSES_ROOT, "SampleNotes.Document");
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override { removeInstallation(); }
    void TearDown() override { removeInstallation(); }

    // Runs setup.exe -s; every message box is answered by `responder`.
    RunResult runSetup(Responder responder) {
        RunOptions options;
        options.commandLine = quoteArgument(setupExe()) + " -s";
        options.timeoutMs = 120000;
        options.responder = std::move(responder);
        return runProgram(options);
    }
    // A run whose only message box is the completion message.
    void installUnattended() {
        RunResult run = runSetup([](const WindowInfo& window) {
            if (window.isMessageBox() && window.messageText == kCompleted) return Response::press(IDOK);
            return Response::close().markUnexpected("only the completion message is expected");
        });
        ASSERT_TRUE(run.started && !run.timedOut) << run.describe();
        EXPECT_EQ(1u, run.exitCode) << run.describe();
        ASSERT_EQ(1u, run.windows.size()) << run.describe();
        EXPECT_EQ(kProgName, run.windows[0].window.caption);
        EXPECT_EQ(0u, run.problemCount()) << run.describe();
    }
    // The program started by setup.exe: its current directory, then closed.
    std::string closeStartedProgram() {
        HWND window = waitForTopLevelWindow(kProgName, 20000);
        if (!window) return "(not started)";
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        std::string folder = currentDirectoryOf(processId);
        closeTopLevelWindow(window, 5000);
        return folder;
    }
    // Checks every payload file at its place; the documents are not
    // read-only, and the Desktop.INI is rebuilt rather than copied.
    void expectPayloadInstalled(const std::vector<std::string>& except = {}) {
        std::map<std::string, StagedFile> files = payloadFiles();
        ASSERT_FALSE(files.empty());
        for (const auto& [name, staged] : files) {
            SCOPED_TRACE(name);
            bool document = name.compare(0, 10, "Documents\\") == 0;
            std::string relative = name.substr(name.find('\\'));
            std::string path = (document ? documentsDir() : kInstallDir) + relative;
            if (relative == "\\Desktop.INI" || std::find(except.begin(), except.end(), path) != except.end()) continue;
            EXPECT_EQ(staged.bytes, readFileContents(path).value_or("(missing)"));
            DWORD expected = staged.attributes & kShownAttributes & ~(document ? FILE_ATTRIBUTE_READONLY : 0u);
            EXPECT_EQ(attributeLetters(expected), attributeLetters(fileAttributes(path) & kShownAttributes));
            std::optional<FileTimes> times = readFileTimes(path);
            ASSERT_TRUE(times.has_value());
            EXPECT_EQ(staged.lastWrite.dwLowDateTime, times->lastWrite.dwLowDateTime);
            EXPECT_EQ(staged.lastWrite.dwHighDateTime, times->lastWrite.dwHighDateTime);
        }
    }
};

TEST_F(InstallTest, UnattendedInstallDeploysRegistersLinksAndStartsTheProgram) {
    installUnattended();
    EXPECT_EQ(kInstallDir, closeStartedProgram());
    expectPayloadInstalled();
    // The folder's icon is the installed program's, by its own path.
    const std::string desktopIni = documentsDir() + "\\Desktop.INI";
    EXPECT_EQ("[.ShellClassInfo]\r\nIconFile=" + kProgram + "\r\nIconIndex=0\r\n"
              "InfoTip=Notes and documents of Sample Notes\r\n",
              readFileContents(desktopIni).value_or("(missing)"));
    EXPECT_EQ("RHS", attributeLetters(fileAttributes(desktopIni) & kShownAttributes));
    EXPECT_NE(0u, fileAttributes(documentsDir()) & FILE_ATTRIBUTE_SYSTEM);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    EXPECT_FALSE(pathExists(std::string(temp) + kProgName));  // staging removed

    EXPECT_EQ(std::vector<std::string>({"1.2"}), registrySubkeys(HKEY_LOCAL_MACHINE, kVendorKey));
    EXPECT_EQ(kProgram, readRegistryString(HKEY_LOCAL_MACHINE, kAppPathKey, "").value_or(""));
    EXPECT_EQ(kInstallDir, readRegistryString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path").value_or(""));
    const std::map<std::string, std::string> uninstall = {
        {"DisplayName", "Sample Notes"}, {"DisplayVersion", "1.2"}, {"InstallLocation", kInstallDir},
        {"UninstallString", "\"" + kProgram + "\" -u"}, {"VersionMajor", "1"}, {"VersionMinor", "2"}};
    std::map<std::string, std::string> found;
    for (const RegistryValue& value : registryValues(HKEY_LOCAL_MACHINE, kUninstallKey)) found[value.name] = value.text();
    EXPECT_EQ(uninstall, found);
    EXPECT_EQ("SampleNotes.Document", readRegistryString(HKEY_CLASSES_ROOT, ".snote", "").value_or(""));
    // Every key is written in the registry view of the installer's kind. On
    // 64-bit Windows the vendor key and the uninstall entry are in that view
    // only; App Paths and the file types are keys that both views share.
    for (const std::string& key : {kVendorKey, kUninstallKey}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, key, ownRegistryView()));
        if (otherRegistryView()) {
            EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, key, otherRegistryView()));
        }
    }
    for (const std::string& key : {kAppPathKey, std::string("SOFTWARE\\Classes\\.snote"),
                                   std::string("SOFTWARE\\Classes\\SampleNotes.Document")}) {
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, key, ownRegistryView())) << key;
    }
    EXPECT_EQ(kProgram + ",0",
              readRegistryString(HKEY_CLASSES_ROOT, "SampleNotes.Document\\DefaultIcon", "").value_or(""));
    EXPECT_EQ("\"" + kProgram + "\" \"%1\"",
              readRegistryString(HKEY_CLASSES_ROOT, "SampleNotes.Document\\Shell\\open\\command", "").value_or(""));

    for (const std::string& link : {specialFolder(CSIDL_PROGRAMS) + "\\Sample Notes\\Sample Notes.lnk",
                                    specialFolder(CSIDL_DESKTOP) + "\\Sample Notes.lnk"}) {
        SCOPED_TRACE(link);
        std::optional<ShortcutInfo> shortcut = readShortcut(link);
        ASSERT_TRUE(shortcut.has_value());
        EXPECT_EQ(kProgram, shortcut->target);
        EXPECT_EQ(kInstallDir, shortcut->workingDirectory);
        EXPECT_EQ("Write and keep your notes", shortcut->description);
    }
}

TEST_F(InstallTest, UnattendedUpdateReplacesProgramFilesAndKeepsDocuments) {
    installUnattended();
    closeStartedProgram();
    const std::string changed = documentsDir() + "\\Welcome.snote";
    const std::string missing = documentsDir() + "\\Recipes\\Pancakes.snote";
    ASSERT_TRUE(writeFile(changed, "changed by the user"));
    ASSERT_TRUE(DeleteFileA(missing.c_str()));
    ASSERT_TRUE(writeFile(kProgram, "damaged"));

    installUnattended();
    closeStartedProgram();
    expectPayloadInstalled({changed});
    EXPECT_EQ("changed by the user", readFileContents(changed).value_or("(missing)"));
    EXPECT_TRUE(pathExists(missing));
}

// The installed program is held open by this process, another process than
// setup.exe, so replacing it fails and setup.exe asks.
class HeldProgramTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        installUnattended();
        closeStartedProgram();
        ASSERT_TRUE(writeFile(kInstallDir + "\\notes.cfg", "the user's settings"));
        ASSERT_TRUE(writeFile(documentsDir() + "\\Welcome.snote", "changed by the user"));
        ASSERT_TRUE(writeFile(documentsDir() + "\\Mine.snote", "the user's own"));
        before = snapshot();
        held = CreateFileA(kProgram.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
    }
    void TearDown() override {
        release();
        InstallTest::TearDown();
    }
    void release() {
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    // Every file and folder below the two destinations, with its contents.
    std::map<std::string, std::string> snapshot() {
        std::map<std::string, std::string> state;
        for (const std::string& root : {kInstallDir, documentsDir()}) {
            for (const TreeEntry& entry : listTree(root)) {
                std::string path = root + "\\" + entry.path;
                state[path] = entry.isDirectory() ? "(folder)" : readFileContents(path).value_or("(unreadable)");
            }
        }
        return state;
    }

    // Names the paths that are gone or changed (contents may be binary).
    void expectUnchanged(const std::map<std::string, std::string>& after) {
        for (const auto& [path, contents] : before) {
            auto found = after.find(path);
            EXPECT_TRUE(found != after.end()) << path << " is gone";
            if (found == after.end()) continue;
            EXPECT_TRUE(found->second == contents) << path << " has changed";
        }
        for (const auto& entry : after) EXPECT_TRUE(before.count(entry.first)) << entry.first << " is new";
    }

    std::map<std::string, std::string> before;  // just before the file was held
    HANDLE held = INVALID_HANDLE_VALUE;
    const std::string prompt = std::string(kCopyFailed) + "\n\n" + kProgram;
};

TEST_F(HeldProgramTest, RetryAfterTheFileIsReleasedCompletes) {
    RunResult run = runSetup([&](const WindowInfo& window) {
        if (window.messageText == prompt) {
            release();
            return Response::press(IDRETRY);
        }
        if (window.messageText == kCompleted) return Response::press(IDOK);
        return Response::close().markUnexpected("not expected");
    });
    ASSERT_TRUE(run.started && !run.timedOut) << run.describe();
    EXPECT_EQ(1u, run.exitCode) << run.describe();
    EXPECT_EQ(2u, run.windows.size()) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    closeStartedProgram();
    expectPayloadInstalled({documentsDir() + "\\Welcome.snote"});
    EXPECT_EQ("the user's settings", readFileContents(kInstallDir + "\\notes.cfg").value_or("(missing)"));
}

TEST_F(HeldProgramTest, CancelRollsBackAndKeepsEverythingThatWasThere) {
    RunResult run = runSetup([&](const WindowInfo& window) {
        if (window.messageText == prompt) return Response::press(IDCANCEL);
        if (window.messageText == kFailed) return Response::press(IDOK);
        return Response::close().markUnexpected("not expected");
    });
    ASSERT_TRUE(run.started && !run.timedOut) << run.describe();
    EXPECT_EQ(0u, run.exitCode) << run.describe();
    ASSERT_EQ(2u, run.windows.size()) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    EXPECT_EQ(kProgName, run.windows[1].window.caption);
    release();
    expectUnchanged(snapshot());
    EXPECT_TRUE(findTopLevelWindows(kProgName).empty());  // nothing was started
}

// The run's prefix is of the kind asked for (SETUP_WINE_KIND, from
// tests/wine): a WOW64 run that quietly ran in a 32-bit prefix would show
// nothing of 64-bit Windows.
TEST(PrefixKind, IsTheOneAskedFor) {
    char kind[16] = "";
    if (!GetEnvironmentVariableA("SETUP_WINE_KIND", kind, sizeof kind)) GTEST_SKIP() << "not run by tests/wine";
    EXPECT_EQ(std::string(kind) == "wow64", runsUnderWow64()) << kind;
    EXPECT_EQ(std::string(kind) == "win32" ? "C:\\Program Files" : "C:\\Program Files (x86)",
              readRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                 "ProgramFilesDir", KEY_WOW64_32KEY).value_or(""));
}

}  // namespace
