// The removal helper's command line, shared by the two builds of the
// helper: the one the library carries (this role only) and
// setup-uninstall.exe (see HelperMain.cpp).
//
//   <temp copy> --remove [--quiet] [--report H] [--wait H]... --program PATH
//       The removal itself (Remover.h), started with inherited handles by the
//       library or by setup-uninstall.exe -u. It deletes its own file when it
//       ends (see Launcher.cpp).
#include "uninstall/RemoverCommand.h"

#include <shellapi.h>

#include "uninstall/Remover.h"
#include "uninstall/setup-uninstall.h"

namespace {

// A handle value written in decimal by the launcher; null when it is not one.
HANDLE handleOf(const WCHAR* text) {
    ULONG_PTR value = 0;
    if (!*text) return nullptr;
    for (; *text; ++text) {
        if (*text < L'0' || *text > L'9' || value > (~static_cast<ULONG_PTR>(0) - 9) / 10) return nullptr;
        value = value * 10 + static_cast<ULONG_PTR>(*text - L'0');
    }
    return reinterpret_cast<HANDLE>(value);
}

// The removal helper's own file, when it runs from the temp folder: also
// scheduled for deletion at the next start of the system, in case the
// delete-on-close handle it inherited could not do it.
void scheduleOwnDeletion() {
    WCHAR own[MAX_PATH];
    WCHAR temp[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || tempLength == 0 || tempLength >= MAX_PATH || tempLength >= length) return;
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, own, static_cast<int>(tempLength), temp,
                       static_cast<int>(tempLength)) != CSTR_EQUAL) {
        return;
    }
    MoveFileExW(own, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

bool isOption(const WCHAR* argument, const WCHAR* option) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, argument, -1, option, -1) == CSTR_EQUAL;
}

int runRemoveCommand(WCHAR** argv, int argc) {
    RemoverRequest request;
    for (int i = 2; i < argc; ++i) {
        bool hasValue = i + 1 < argc;
        if (isOption(argv[i], L"--quiet")) {
            request.quiet = true;
        } else if (isOption(argv[i], L"--report") && hasValue) {
            request.report = handleOf(argv[++i]);
        } else if (isOption(argv[i], L"--wait") && hasValue) {
            HANDLE handle = handleOf(argv[++i]);
            if (handle && request.waitCount < kMaxWaitHandles) request.waits[request.waitCount++] = handle;
        } else if (isOption(argv[i], L"--program") && hasValue) {
            request.programPath = argv[++i];
        } else {
            return SETUP_UNINSTALL_FAILED;
        }
    }
    if (!request.programPath) return SETUP_UNINSTALL_FAILED;
    int result = runRemover(request);
    scheduleOwnDeletion();
    return result;
}

int runHelper(int (*otherRoles)(WCHAR** argv, int argc)) {
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return SETUP_UNINSTALL_FAILED;
    int result = SETUP_UNINSTALL_FAILED;
    if (argc >= 2 && isOption(argv[1], L"--remove")) result = runRemoveCommand(argv, argc);
    else if (otherRoles) result = otherRoles(argv, argc);
    LocalFree(argv);
    return result;
}

// Entry point of the build the library carries: the removal role only.
extern "C" void removerEntry() { ExitProcess(static_cast<UINT>(runHelper(nullptr))); }
