// How the removal helper is written and started, in process: the real
// helper the library carries, started for a program that has no manifest
// (so that it removes nothing: quiet, it fails at once; asked, it shows its
// error and waits for OK), with the platform's token answer and start calls
// replaced where a test must choose them.
#include "uninstall/Launcher.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <functional>
#include <string>
#include <thread>

#include "ProcessRunner.h"
#include "TestSupport.h"
#include "WindowWatcher.h"
#include "common/Scoped.h"
#include "uninstall/HelperFile.h"
#include "uninstall/RemoverCommand.h"
#include "uninstall/setup-uninstall.h"

extern "C" const unsigned char setupUninstallHelperImage[];
extern "C" const unsigned long setupUninstallHelperSize;

namespace {

std::wstring wide(const std::string& text) {
    std::wstring result(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                                     static_cast<int>(result.size()));
    result.resize(static_cast<size_t>(length > 0 ? length : 0));
    return result;
}

std::string narrow(const std::wstring& text) {
    std::string result(text.size() * 2, '\0');
    int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                                     static_cast<int>(result.size()), nullptr, nullptr);
    result.resize(static_cast<size_t>(length > 0 ? length : 0));
    return result;
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file's bytes, read alongside handles that do not share reading alone.
std::string contents(const std::wstring& path) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char buffer[8192];
    DWORD got = 0;
    while (file.isValid() && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

// Wine derives a file's access rules from its Unix permissions: the rules a
// program sets are not kept.
bool underWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// What the replaced platform calls were asked, and what they answer. 0 as
// an error: the platform's own call does the start.
struct Platform {
    bool elevated = true;
    DWORD startError = 0;
    DWORD elevatedError = 0;
    int starts = 0;
    int elevatedStarts = 0;
    int refusals = 0;
    std::wstring helperPath;
    ScopedHandle helper;    // a duplicate of the started helper's process handle
    ScopedHandle started{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
Platform* platform = nullptr;

HANDLE recordStart(HANDLE process) {
    HANDLE copy = nullptr;
    if (process) DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    platform->helper.reset(copy);
    SetEvent(platform->started.get());
    return process;
}

HANDLE fakeStart(const WCHAR* path, const WCHAR* parameters) {
    ++platform->starts;
    platform->helperPath = path;
    if (platform->startError) {
        SetLastError(platform->startError);
        return nullptr;
    }
    return recordStart(systemLaunchPlatform().start(path, parameters));
}

HANDLE fakeStartElevated(const WCHAR* path, const WCHAR* parameters) {
    ++platform->elevatedStarts;
    platform->helperPath = path;
    if (platform->elevatedError) {
        SetLastError(platform->elevatedError);
        return nullptr;
    }
    return recordStart(systemLaunchPlatform().startElevated(path, parameters));
}

const LaunchPlatform kFakePlatform = {[] { return platform->elevated; }, fakeStart, fakeStartElevated,
                                      [] { ++platform->refusals; }};

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform = &fake;
        // No manifest in this folder or above it: the helper removes nothing.
        program = wide(dir / "Program.exe");
        ASSERT_TRUE(writeFile(dir / "Program.exe", "not run"));
    }
    void TearDown() override { platform = nullptr; }

    int start(bool quiet) {
        return startRemover(kFakePlatform, setupUninstallHelperImage, setupUninstallHelperSize, program.c_str(), quiet,
                            nullptr);
    }

    // Starts the helper, not quiet, from another thread; runs `whileWaiting`
    // with the helper's process id while its error box waits, then presses
    // OK. The call's result.
    int startAndHold(const std::function<void(DWORD helperId)>& whileWaiting) {
        int result = -1;
        std::thread caller([&] { result = start(false); });
        bool held = false;
        if (WaitForSingleObject(fake.started.get(), 30000) == WAIT_OBJECT_0 && fake.helper.isValid()) {
            DWORD id = GetProcessId(fake.helper.get());
            WindowWatcher watcher(id, [&](const WindowInfo& window) {
                if (!held && window.isMessageBox()) {
                    held = true;
                    whileWaiting(id);
                }
                return Response::press(IDOK);
            });
            DWORD begin = GetTickCount();
            while (WaitForSingleObject(fake.helper.get(), 20) == WAIT_TIMEOUT && GetTickCount() - begin < 30000) {
                watcher.poll();
            }
            if (!held) TerminateProcess(fake.helper.get(), 99);
        }
        caller.join();
        EXPECT_TRUE(held) << "the helper never showed its error";
        return result;
    }

    TempDir dir;
    std::wstring program;
    Platform fake;
};

// Each way the start can go: the helper gets administrator rights through
// the prompt whenever the caller lacks them, a refused prompt is said
// (asked) and reported as cancelled, and a failed start is never tried
// again with a new file.
TEST_F(LauncherTest, StartsThroughThePromptWhereTheCallerIsNotElevated) {
    const struct {
        const char* what;
        bool elevated;
        DWORD startError, elevatedError;
        bool quiet;
        int starts, elevatedStarts, refusals;
        bool ran;
        int result;
    } cases[] = {
        {"elevated: started directly", true, 0, 0, true, 1, 0, 0, true, SETUP_UNINSTALL_FAILED},
        {"not elevated: through the prompt", false, 0, 0, true, 0, 1, 0, true, SETUP_UNINSTALL_FAILED},
        {"the direct start asks for elevation", true, 740, 0, true, 1, 1, 0, true, SETUP_UNINSTALL_FAILED},
        {"prompt refused, asked", false, 0, ERROR_CANCELLED, false, 0, 1, 1, false, SETUP_UNINSTALL_CANCELLED},
        {"prompt refused, quiet", false, 0, ERROR_CANCELLED, true, 0, 1, 0, false, SETUP_UNINSTALL_CANCELLED},
        {"the direct start fails", true, ERROR_FILE_NOT_FOUND, 0, true, 1, 0, 0, false, SETUP_UNINSTALL_FAILED},
        {"the prompted start fails", false, 0, ERROR_ACCESS_DENIED, true, 0, 1, 0, false, SETUP_UNINSTALL_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Platform fresh;
        platform = &fresh;
        fresh.elevated = c.elevated;
        fresh.startError = c.startError;
        fresh.elevatedError = c.elevatedError;
        EXPECT_EQ(c.result, start(c.quiet));
        EXPECT_EQ(c.starts, fresh.starts);
        EXPECT_EQ(c.elevatedStarts, fresh.elevatedStarts);
        EXPECT_EQ(c.refusals, fresh.refusals);
        // A helper that started ran to its end (it found no manifest).
        EXPECT_EQ(c.ran, fresh.helper.isValid());
        if (fresh.helper.isValid()) {
            DWORD code = 0;
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(fresh.helper.get(), 10000));
            GetExitCodeProcess(fresh.helper.get(), &code);
            EXPECT_EQ(static_cast<DWORD>(SETUP_UNINSTALL_FAILED), code);
        }
        // Nothing is left of the helper's file or its folder.
        ASSERT_FALSE(fresh.helperPath.empty());
        EXPECT_FALSE(exists(fresh.helperPath)) << narrow(fresh.helperPath);
        EXPECT_FALSE(exists(folderOf(fresh.helperPath))) << narrow(fresh.helperPath);
    }
    platform = &fake;
}

// An inheritable handle of the caller's (here: to a file opened without
// delete sharing) does not reach the helper: once the caller closes it, the
// file can go while the helper still runs.
TEST_F(LauncherTest, HandsTheHelperNoHandleOfTheCaller) {
    const std::string held = dir / "held.txt";
    ASSERT_TRUE(writeFile(held, "held"));
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    bool closed = false;
    int result = startAndHold([&](DWORD) {
        closed = CloseHandle(file) != FALSE;
        EXPECT_TRUE(DeleteFileA(held.c_str())) << "error " << GetLastError() << ": the helper holds the file";
    });
    if (!closed) CloseHandle(file);
    EXPECT_EQ(SETUP_UNINSTALL_FAILED, result);
}

// Makes `processId` load `name` by its plain name, as a system DLL loading
// a helper DLL would, from a thread of its own; the module handle it got
// (null when the search did not find it).
HMODULE loadInProcess(DWORD processId, const std::string& name) {
    ScopedHandle process(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                                         PROCESS_QUERY_INFORMATION,
                                     FALSE, processId));
    if (!process.isValid()) return nullptr;
    DWORD result = 0;
    void* remote = VirtualAllocEx(process.get(), nullptr, name.size() + 1, MEM_COMMIT, PAGE_READWRITE);
    // kernel32 lies at the same address in every process.
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    if (remote && WriteProcessMemory(process.get(), remote, name.c_str(), name.size() + 1, nullptr)) {
        ScopedHandle thread(CreateRemoteThread(process.get(), nullptr, 0, load, remote, 0, nullptr));
        if (thread.isValid() && WaitForSingleObject(thread.get(), 20000) == WAIT_OBJECT_0) {
            GetExitCodeThread(thread.get(), &result);
        }
    }
    return reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(result));
}

// The helper runs from the temp folder (the system's, where every user may
// add files, when it runs as the system): a DLL looked for by its plain name
// is not looked for in its own folder, nor in the current folder.
TEST_F(LauncherTest, TheHelperLooksForDllsInTheSystemFolderOnly) {
    const std::string name = "dll-probe-launcher.dll";
    const std::string probe = readFile(ownFolder() + "\\dll-probe.dll");
    ASSERT_FALSE(probe.empty());
    ASSERT_TRUE(writeFile(dir / name, probe));
    char current[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, current));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));  // the helper's current folder too
    HMODULE loaded = nullptr;
    std::string besideHelper;
    int result = startAndHold([&](DWORD helperId) {
        besideHelper = narrow(folderOf(fake.helperPath)) + "\\" + name;
        if (!writeFile(besideHelper, probe)) ADD_FAILURE() << "cannot plant " << besideHelper;
        loaded = loadInProcess(helperId, name);
    });
    SetCurrentDirectoryA(current);
    EXPECT_EQ(nullptr, loaded);
    EXPECT_FALSE(exists(wide(besideHelper + ".loaded")));
    EXPECT_FALSE(exists(wide(dir / (name + ".loaded"))));
    EXPECT_EQ(SETUP_UNINSTALL_FAILED, result);
    // The planted file kept the helper's folder: it goes with it.
    DeleteFileA(besideHelper.c_str());
    DeleteFileA((besideHelper + ".loaded").c_str());
    RemoveDirectoryW(folderOf(fake.helperPath).c_str());
}

// From its writing until the helper runs, its file can be neither renamed
// nor deleted, and its folder not renamed; each
// helper gets a new folder under the temp folder; both go with the keepers.
TEST(HelperFile, CannotBeReplacedBeforeItStarts) {
    std::wstring path, otherPath;
    {
        HelperFile file, other;
        ASSERT_TRUE(file.write(setupUninstallHelperImage, setupUninstallHelperSize));
        ASSERT_TRUE(other.write(nullptr, 0));  // a copy of this test program
        path = file.path();
        otherPath = other.path();
        const std::wstring folder = folderOf(path);
        WCHAR temp[MAX_PATH];
        DWORD tempLength = GetTempPathW(MAX_PATH, temp);
        EXPECT_EQ(std::wstring(temp), folder.substr(0, tempLength));
        EXPECT_EQ(std::wstring::npos, folder.find(L'\\', tempLength)) << narrow(folder);
        EXPECT_NE(folder, folderOf(otherPath));
        EXPECT_TRUE(contents(path) == std::string(reinterpret_cast<const char*>(setupUninstallHelperImage),
                                                  setupUninstallHelperSize));

        const std::wstring moved = folder + L".moved";
        struct Attempt {
            const char* what;
            std::function<bool()> succeeds;
        } attempts[] = {
            {"rename the file", [&] { return MoveFileW(path.c_str(), (folder + L"\\moved.exe").c_str()) != FALSE; }},
            {"delete the file", [&] { return DeleteFileW(path.c_str()) != FALSE; }},
            {"rename the folder", [&] { return MoveFileW(folder.c_str(), moved.c_str()) != FALSE; }},
        };
        for (const Attempt& attempt : attempts) {
            SCOPED_TRACE(attempt.what);
            EXPECT_FALSE(attempt.succeeds());
        }
        EXPECT_TRUE(exists(path));
        EXPECT_FALSE(exists(moved));

        // The loader takes it as it is held.
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        std::wstring command = L"\"" + path + L"\"";
        ASSERT_TRUE(CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        WaitForSingleObject(process.hProcess, 10000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(static_cast<DWORD>(SETUP_UNINSTALL_FAILED), code);  // no command: nothing done
    }
    for (const std::wstring& gone : {path, otherPath}) {
        EXPECT_FALSE(exists(gone)) << narrow(gone);
        EXPECT_FALSE(exists(folderOf(gone))) << narrow(gone);
    }
}

// Who may use the helper's folder and file: this user, the administrators
// and the system, nobody else (the system's temp folder lets every user add
// files, and what is made there would inherit that).
TEST(HelperFile, OnlyTheUserAdministratorsAndSystemGetIn) {
    if (underWine()) GTEST_SKIP() << "Wine keeps no access rules of its own for files";
    HelperFile file;
    ASSERT_TRUE(file.write(setupUninstallHelperImage, setupUninstallHelperSize));
    const std::wstring path = file.path();
    for (bool isFolder : {true, false}) {
        SCOPED_TRACE(isFolder ? "folder" : "file");
        std::wstring target = isFolder ? folderOf(path) : path;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        DWORD error = GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                            nullptr, &dacl, nullptr, &descriptor);
        if (error != ERROR_SUCCESS || !dacl) {
            LocalFree(descriptor);
            GTEST_SKIP() << "the platform keeps no access rules for files (error " << error << ")";
        }
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        EXPECT_NE(0, control & SE_DACL_PROTECTED);
        BYTE administrators[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof administrators;
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
        size = sizeof system;
        CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
        BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
        GetTokenInformation(token, TokenUser, user, sizeof user, &size);
        CloseHandle(token);
        PSID userSid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
        EXPECT_LE(3u, dacl->AceCount);
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            PSID sid = &ace->SidStart;
            EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
            EXPECT_TRUE(EqualSid(sid, userSid) || EqualSid(sid, administrators) || EqualSid(sid, system))
                << "entry " << i;
        }
        LocalFree(descriptor);
    }
}

// The helper waits only for a process that was there before it: the id of
// a process that started later (an id reused after its first holder ended
// would be one) is refused.
TEST(OpenEarlierProcess, RefusesAProcessCreatedAfterThisOne) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION later;
    std::string command = quoteArgument(ownFolder() + "\\launch-recorder.exe");
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &later));
    const struct {
        const char* what;
        DWORD id;
        bool opened;
    } cases[] = {
        {"this process", GetCurrentProcessId(), true},
        {"a process started later", later.dwProcessId, false},
        {"no process", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedHandle process(openEarlierProcess(c.id, SYNCHRONIZE));
        EXPECT_EQ(c.opened, process.isValid());
        if (process.isValid()) {
            EXPECT_EQ(c.id, GetProcessId(process.get()));
        }
    }
    TerminateProcess(later.hProcess, 0);
    CloseHandle(later.hThread);
    CloseHandle(later.hProcess);
}

}  // namespace
