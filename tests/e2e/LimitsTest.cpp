// The real installer at its limits and in hostile surroundings: staged paths
// at the 260-byte limit, the staging folder on every way out, programs
// planted where a misquoted command line would start them, and the
// temporary setup INI.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "InstallerRun.h"
#include "PrefixState.h"

namespace {

Response pressOk(const WindowInfo&) { return Response::press(IDOK); }

Response okOrNo(const WindowInfo& window) {
    return Response::press(window.isMessageBox() ? IDOK : IDNO);
}

std::string installDirOf(const ProgramNames& names, const std::string& base = programFilesFolder()) {
    return base + "\\" + names.progDir;
}

// A payload with the program, a few neighbours and one file whose staged
// path is exactly `length` bytes long; `deepName` gets its entry name.
ByteVector payloadReaching(const ProgramNames& names, size_t length, std::string& deepName) {
    const size_t staging = stagingFolder(names).size() + 1;
    ArchiveWriter writer;
    writer.addDirectory("Program");
    writer.addFile("Program\\" + names.progFile + ".exe", "not a real program");
    for (int i = 0; i < 12; ++i) writer.addFile("Program\\lib\\part" + std::to_string(i) + ".dat", "part");
    deepName = "Program\\deep";
    while (staging + deepName.size() + 1 + 50 + 20 < length) deepName += "\\" + std::string(50, 'd');
    deepName += "\\" + std::string(length - staging - deepName.size() - 1, 'f');
    writer.addFile(deepName, "deep");
    return writer.build();
}

TEST(PathLimit, StagedPathOf259BytesInstallsAndLeavesNoStagingFolder) {
    ProgramNames names("Limit");
    std::string deepName;
    InstallerRun installer(setupIni(names), payloadReaching(names, 259, deepName));
    ASSERT_TRUE(installer.ready());
    ASSERT_EQ(259u, stagingFolder(names).size() + 1 + deepName.size());

    InstallerOutcome outcome = installer.run("-s", pressOk);
    EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " 1.2 done EN"}}), outcome.messages)
        << outcome.run.describe();
    EXPECT_EQ(1u, outcome.run.exitCode);
    EXPECT_EQ("deep", readFileContents(installDirOf(names) + deepName.substr(7)).value_or("(missing)"));
    EXPECT_FALSE(pathExists(stagingFolder(names)));
    removeInstalled(names, installDirOf(names));
}

TEST(PathLimit, StagedPathOf260BytesIsRefusedBeforeAnythingIsWrittenAndNamed) {
    ProgramNames names("Limit");
    std::string deepName;
    InstallerRun installer(setupIni(names), payloadReaching(names, 260, deepName));
    ASSERT_TRUE(installer.ready());

    InstallerOutcome outcome = installer.run("-s", pressOk);
    const std::string path = stagingFolder(names) + "\\" + deepName;
    EXPECT_EQ(std::vector<Shown>(
                  {{path, "Unable to create file.\n\nThe path is 260 characters long; the limit is 259."},
                   {names.progName, names.progName + " failed EN"}}),
              outcome.messages)
        << outcome.run.describe();
    EXPECT_EQ(0u, outcome.run.exitCode);
    EXPECT_FALSE(pathExists(stagingFolder(names)));
    EXPECT_FALSE(pathExists(installDirOf(names)));
}

struct StagingCase {
    const char* what;
    bool holdAFile;          // a file of an old staging folder is held open throughout
    bool blockInstallDir;    // a file stands where the install folder would go
    unsigned exitCode;
};

// On every way out the staging folder's contents go, except a file another
// process holds open. An old staging folder that keeps such a file is not
// the run's own: the run stops before extracting anything into it.
TEST(StagingFolder, OnlyAFileHeldOpenStaysAtExit) {
    const StagingCase cases[] = {
        {"installed", false, false, 1},
        {"held staged file", true, false, 0},
        {"failed install step", false, true, 0},
        {"held file and failed install step", true, true, 0},
    };
    for (const StagingCase& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramNames names("Staging");
        ArchiveWriter writer;
        writer.addFile("Program\\" + names.progFile + ".exe", "not a real program");
        writer.addFile("Program\\sub\\a.txt", "a");
        writer.addFile("Documents\\b.txt", "b");
        InstallerRun installer(setupIni(names), writer.build());
        ASSERT_TRUE(installer.ready());
        const std::string staging = stagingFolder(names);
        const std::string held = staging + "\\Program\\held.txt";
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (c.holdAFile) {
            ASSERT_TRUE(writeFile(held, "held"));
            holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        }
        if (c.blockInstallDir) {
            ASSERT_TRUE(writeFile(installDirOf(names), "in the way"));
        }

        InstallerOutcome outcome = installer.run("-s", pressOk);
        EXPECT_EQ(c.exitCode, outcome.run.exitCode) << outcome.run.describe();
        std::vector<std::string> left;
        for (const TreeEntry& entry : listTree(staging)) left.push_back(entry.path);
        EXPECT_EQ(c.holdAFile ? std::vector<std::string>({"Program", "Program\\held.txt"}) : std::vector<std::string>(),
                  left);
        EXPECT_EQ(c.holdAFile, pathExists(staging));
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
        removeFileTree(staging);
        removeFileTree(specialFolder(CSIDL_PERSONAL) + "\\" + names.progDir);
        removeInstalled(names, installDirOf(names));
    }
}

// The installed program is started by its quoted path: a program planted
// where the first words of an unquoted path would name one never runs.
TEST(Launch, PlantedProgramOnTheInstallPathDoesNotRun) {
    struct PlantCase {
        const char* planted;
        const char* base;  // "" = the program-files folder
    };
    const PlantCase cases[] = {
        {"C:\\Program.exe", ""},
        {"C:\\Other.exe", "C:\\Other Base"},
    };
    const std::string marker = readFileContents(ownFolder() + "\\start-marker.exe").value_or("");
    ASSERT_FALSE(marker.empty());
    for (const PlantCase& c : cases) {
        SCOPED_TRACE(c.planted);
        ProgramNames names("Launch");
        ArchiveWriter writer;
        writer.addFile("Program\\" + names.progFile + ".exe", marker);
        InstallerRun installer(setupIni(names), writer.build());
        ASSERT_TRUE(installer.ready());
        ASSERT_TRUE(writeFile(c.planted, marker));
        ExistingInstallation existing(names);
        std::string base = programFilesFolder();
        if (*c.base) {
            base = c.base;
            ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
            existing.set("InstallLocation", base + "\\" + names.progDir);
        }
        const std::string installed = installDirOf(names, base) + "\\" + names.progFile + ".exe";

        InstallerOutcome outcome = installer.run("-s", pressOk);
        EXPECT_EQ(1u, outcome.run.exitCode) << outcome.run.describe();
        bool started = false;
        for (int wait = 0; wait < 300 && !started; ++wait) {
            started = pathExists(installed + ".started");
            if (!started) Sleep(100);
        }
        EXPECT_TRUE(started) << "the installed program was not started";
        EXPECT_FALSE(pathExists(std::string(c.planted) + ".started")) << "the planted program ran";
        DeleteFileA(c.planted);
        DeleteFileA((std::string(c.planted) + ".started").c_str());
        removeInstalled(names, installDirOf(names, base));
        if (*c.base) RemoveDirectoryA(c.base);
    }
}

// The setup INI is staged as a temporary "qrb" file: no way out leaves one.
TEST(TemporaryIni, NoWayOutLeavesOne) {
    struct WayOut {
        const char* what;
        const char* arguments;
        const char* dropKey;     // removed from the INI; "" = none
        bool corrupt;            // the payload's checksum fails
        unsigned exitCode;
    };
    const WayOut cases[] = {
        {"installed", "-s", "", false, 1},
        {"prompt answered No", "", "", false, 0},
        {"key missing", "-s", "InstallNo", false, 0},
        {"corrupt payload", "-s", "", true, 0},
    };
    for (const WayOut& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramNames names("TempIni");
        std::string ini = setupIni(names);
        if (*c.dropKey) {
            size_t at = ini.find(std::string(c.dropKey) + "=");
            ini.erase(at, ini.find("\r\n", at) + 2 - at);
        }
        ByteVector payload = payloadWithProgram(names);
        if (c.corrupt) payload[payload.size() / 2] ^= 0x40;
        InstallerRun installer(ini, payload);
        ASSERT_TRUE(installer.ready());
        TempDir temp;  // the installer's own temp folder, watched alone
        ScopedEnvironment tmp("TMP", temp.path().c_str());
        ScopedEnvironment tempVariable("TEMP", temp.path().c_str());

        InstallerOutcome outcome = installer.run(c.arguments, okOrNo);
        EXPECT_EQ(c.exitCode, outcome.run.exitCode) << outcome.run.describe();
        std::vector<std::string> left;
        for (const TreeEntry& entry : listTree(temp.path())) left.push_back(entry.path);
        EXPECT_EQ(std::vector<std::string>(), left);
        removeInstalled(names, installDirOf(names));
    }
}

// Makes `processId` load the DLL `name` by its plain name, as a system DLL
// loading a helper would, from a thread of its own; the module handle it
// got (null when the search did not find it).
HMODULE loadInProcess(DWORD processId, const std::string& name) {
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION,
                                 FALSE, processId);
    if (!process) return nullptr;
    DWORD result = 0;
    void* remote = VirtualAllocEx(process, nullptr, name.size() + 1, MEM_COMMIT, PAGE_READWRITE);
    // kernel32 lies at the same address in every process.
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    if (remote && WriteProcessMemory(process, remote, name.c_str(), name.size() + 1, nullptr)) {
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
        if (thread) {
            if (WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &result);
            CloseHandle(thread);
        }
    }
    CloseHandle(process);
    return reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(result));
}

// The installer usually runs from a downloads folder: by the time its first
// window shows, a DLL looked for by its plain name is no longer looked for
// there.
TEST(DllSearch, IsRestrictedBeforeTheFirstWindow) {
    ProgramNames names("DllSearch");
    InstallerRun installer(setupIni(names), payloadWithProgram(names));
    ASSERT_TRUE(installer.ready());
    const std::string folder = installer.path().substr(0, installer.path().rfind('\\'));
    const std::string planted = folder + "\\dll-probe-" + names.progDir + ".dll";
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\dll-probe.dll").c_str(), planted.c_str(), FALSE));

    bool asked = false;
    HMODULE loaded = nullptr;
    InstallerOutcome outcome = installer.run("", [&](const WindowInfo& window) {
        if (!asked) {
            asked = true;
            loaded = loadInProcess(window.processId, planted.substr(folder.size() + 1));
        }
        return Response::press(window.isMessageBox() ? IDOK : IDNO);
    });
    EXPECT_TRUE(asked) << outcome.run.describe();
    EXPECT_EQ(nullptr, loaded);
    EXPECT_FALSE(pathExists(planted + ".loaded")) << "the planted DLL was loaded";
    EXPECT_EQ(0u, outcome.run.exitCode);
}

}  // namespace
