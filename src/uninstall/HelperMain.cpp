// setup-uninstall.exe: the uninstaller for programs written in any language.
//
//   setup-uninstall.exe -u [-s]
//       Started by a vendor's program from the program folder when its own
//       command line is "-u"; -s: quiet. Copies itself into the temp folder,
//       starts the copy with "--remove" (RemoverCommand.cpp), which waits for
//       this process and for the program that started it, and exits with the
//       copy's early result: one of the SETUP_UNINSTALL_ codes of
//       setup-uninstall.h.
//
// No C runtime start-up: the entry point calls runHelper and ExitProcess.
#include <windows.h>
#include <tlhelp32.h>

#include "uninstall/Launcher.h"
#include "uninstall/RemoverCommand.h"
#include "uninstall/setup-uninstall.h"

namespace {

// The process that started this one, as a handle the removal can wait on
// (inheritable); null when it has ended or cannot be opened.
HANDLE openParentProcess() {
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
    return parent ? OpenProcess(SYNCHRONIZE, TRUE, parent) : nullptr;
}

int startFromProgramFolder(WCHAR** argv, int argc) {
    bool quiet = argc == 3 && isOption(argv[2], L"-s");
    if (argc < 2 || !isOption(argv[1], L"-u") || (argc != 2 && !quiet)) return SETUP_UNINSTALL_FAILED;
    WCHAR own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return SETUP_UNINSTALL_FAILED;
    HANDLE parent = openParentProcess();
    int result = startRemover(nullptr, 0, own, quiet, parent);
    if (parent) CloseHandle(parent);
    return result;
}

}  // namespace

extern "C" void uninstallEntry() { ExitProcess(static_cast<UINT>(runHelper(startFromProgramFolder))); }
