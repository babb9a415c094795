// setup-uninstall.exe: the uninstaller for programs written in any language.
//
//   setup-uninstall.exe -u [-s]
//       Started by a vendor's program from the program folder when its own
//       command line is "-u"; -s: quiet. Its manifest asks for administrator
//       rights, so the vendor's program starts it through the shell (which
//       shows the prompt). Copies itself into a folder of its own in the temp
//       folder (Launcher.cpp), starts the copy with "--remove"
//       (RemoverCommand.cpp), which waits for this process and for the
//       program that started it (when that runs from the program folder),
//       and exits with the copy's early result: one of the SETUP_UNINSTALL_
//       codes of setup-uninstall.h.
//
// No C runtime start-up: the entry point calls runHelper and ExitProcess.
#include <windows.h>
#include <tlhelp32.h>

#include "uninstall/Launcher.h"
#include "uninstall/RemoverCommand.h"
#include "uninstall/setup-uninstall.h"

namespace {

using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);

// True when the process runs a program from `folder` or below it, or when
// that cannot be told (then it is waited for, to be safe).
bool runsFromFolder(HANDLE process, const WCHAR* folder) {
    // Looked up, not linked: systems before Vista lack it.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    QueryImageNameFn query = kernel ? reinterpret_cast<QueryImageNameFn>(reinterpret_cast<void (*)()>(
                                          GetProcAddress(kernel, "QueryFullProcessImageNameW")))
                                    : nullptr;
    WCHAR image[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!query || !query(process, 0, image, &size)) return true;
    int length = lstrlenW(folder);
    return static_cast<int>(size) > length && image[length] == L'\\' &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, image, length, folder, length) == CSTR_EQUAL;
}

// The process that started this one, as a handle the removal can wait on,
// when it runs from `folder` (the program folder): its files may be the
// install's. A program started from elsewhere (a script's interpreter, the
// command prompt, the file browser) is not waited for. Null when it has
// ended (its id may then name a newer process: that is not waited for
// either) or is not waited for.
HANDLE openParentProcess(const WCHAR* folder) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    if (!parent) return nullptr;
    HANDLE process = openEarlierProcess(parent, SYNCHRONIZE);
    if (!process || runsFromFolder(process, folder)) return process;
    CloseHandle(process);
    return nullptr;
}

int startFromProgramFolder(WCHAR** argv, int argc) {
    bool quiet = argc == 3 && isOption(argv[2], L"-s");
    if (argc < 2 || !isOption(argv[1], L"-u") || (argc != 2 && !quiet)) return SETUP_UNINSTALL_FAILED;
    WCHAR own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return SETUP_UNINSTALL_FAILED;
    WCHAR folder[MAX_PATH];
    lstrcpynW(folder, own, MAX_PATH);
    int cut = lstrlenW(folder);
    while (cut > 0 && folder[cut - 1] != L'\\') --cut;
    folder[cut > 0 ? cut - 1 : 0] = L'\0';
    HANDLE parent = openParentProcess(folder);
    int result = startRemover(systemLaunchPlatform(), nullptr, 0, own, quiet, parent);
    if (parent) CloseHandle(parent);
    return result;
}

}  // namespace

extern "C" void uninstallEntry() { ExitProcess(static_cast<UINT>(runHelper(startFromProgramFolder))); }
