// The uninstall without the rights it needs: the example installed by
// setup.exe -s, then its install folder made read-only for the Unix user
// Wine runs as (as an unelevated Windows user finds Program Files, where
// the administrator prompt is not answered), then its uninstall entry's
// command run quietly. It must say it did not finish, keep what it could
// not remove and the entry that runs it again, and finish once the rights
// are back. (Wine's DeleteFile says a delete that the folder refused
// succeeded: the removal must look.)
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "InstallerRun.h"
#include "PrefixState.h"
#include "ProcessRunner.h"

namespace {

constexpr DWORD kRemoved = 0, kIncomplete = 4;
const char kEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SampleNotes";
const std::string kInstallDir = programFilesFolder() + "\\SampleNotes";

// Makes `folder` and everything in it read-only, or writable again, for the
// Unix user Wine runs as: Wine starts a Unix program given by its Unix path.
// (Its exit code does not come back through Wine: the effect is waited for,
// a file's read-only attribute, which Wine takes from the Unix mode.)
::testing::AssertionResult setWritable(const std::string& unixFolder, const std::string& probe, bool writable) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string command = std::string("/bin/chmod -R ") + (writable ? "u+w" : "a-w") + " \"" + unixFolder + "\"";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return ::testing::AssertionFailure() << command << ": error " << GetLastError();
    }
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(50)) {
        DWORD attributes = GetFileAttributesA(probe.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_READONLY) == 0) == writable) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << command << " had no effect on " << probe;
}

// The Unix path of a Windows path, from Wine's own conversion; "" outside
// Wine.
std::string unixPath(const std::string& path) {
    using ToUnixFn = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return "";
    std::wstring wide(path.begin(), path.end());
    char* converted = toUnix(wide.c_str());
    if (!converted) return "";
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

std::vector<std::string> tree(const std::string& folder) {
    std::vector<std::string> paths;
    for (const TreeEntry& entry : listTree(folder)) paths.push_back(entry.path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The exit codes of the removal helpers among a run's children (the
// platform may start processes of its own there too).
std::vector<DWORD> helperExitCodes(const RunResult& run) {
    std::vector<DWORD> codes;
    for (size_t i = 0; i < run.childNames.size() && i < run.childExitCodes.size(); ++i) {
        if (_stricmp(run.childNames[i].c_str(), "sun-remover.exe") == 0) codes.push_back(run.childExitCodes[i]);
    }
    return codes;
}

RunResult run(const std::string& command) {
    return runUninstallCommand(command, [](const WindowInfo& window) {
        return Response::press(IDOK).markUnexpected(window.caption + ": " + window.messageText);
    });
}

TEST(UninstallRights, WithoutWriteAccessToTheFolderItSaysSoAndKeepsWhatRunsItAgain) {
    const std::string folder = unixPath(kInstallDir);
    if (folder.empty()) GTEST_SKIP() << "needs Wine, to change the folder's Unix permissions";
    ASSERT_EQ(1u, installExampleUnattended());
    const std::string command = readRegistryString(HKEY_LOCAL_MACHINE, kEntry, "UninstallString").value_or("");
    ASSERT_FALSE(command.empty());
    const std::vector<std::string> installed = tree(kInstallDir);
    ASSERT_FALSE(installed.empty());

    const std::string probe = kInstallDir + "\\SampleNotes.exe";
    ASSERT_TRUE(setWritable(folder, probe, false));
    RunResult denied = run(command + " -s");
    ASSERT_TRUE(setWritable(folder, probe, true));
    ASSERT_FALSE(denied.timedOut) << denied.describe();
    // The removal's own result (the program's exit code is its early one,
    // given before the program's files are tried).
    EXPECT_EQ(std::vector<DWORD>{kIncomplete}, helperExitCodes(denied)) << denied.describe();
    EXPECT_EQ(0u, denied.problemCount()) << denied.describe();
    EXPECT_EQ(installed, tree(kInstallDir));
    EXPECT_EQ(command, readRegistryString(HKEY_LOCAL_MACHINE, kEntry, "UninstallString").value_or(""));

    // The same command finishes it.
    RunResult again = run(command + " -s");
    EXPECT_EQ(kRemoved, again.exitCode) << again.describe();
    EXPECT_EQ(std::vector<DWORD>{kRemoved}, helperExitCodes(again)) << again.describe();
    EXPECT_FALSE(pathExists(kInstallDir));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kEntry));
    removeFileTree(specialFolder(CSIDL_PERSONAL) + "\\SampleNotes");
}

}  // namespace
