// setup-launcher.exe: stands in the install folder in place of a vendor's
// program that cannot handle "-u" itself. setup-pack build --launcher stores
// the vendor's program as ProgFile.program.exe and this launcher, with the
// program's icons and version record, as ProgFile.exe, which the shortcuts,
// the file type and the uninstall entry name.
//
//   ProgFile.exe -u        the uninstall, asked (setupUninstall)
//   ProgFile.exe -u -s     the uninstall, quiet (setupUninstallQuiet)
//   ProgFile.exe ...       anything else: ProgFile.program.exe is started with
//                          the same arguments, working folder, environment and
//                          window state, waited for, and its exit code passed
//                          back, so that whoever waits on ProgFile.exe still
//                          waits on the program.
//
// The launcher shows nothing of its own. When the program cannot be started
// it ends with the platform's error code (never 0).
//
// No C runtime start-up: the entry point calls runLauncher and ExitProcess.
// Only system DLLs; the uninstall comes from libsetup-uninstall.a.
#include <windows.h>
#include <shellapi.h>

#include "common/Scoped.h"
#include "launcher/LauncherCommand.h"
#include "uninstall/setup-uninstall.h"

namespace {

// ERROR_ELEVATION_REQUIRED, which this toolchain's headers give only for
// newer target versions.
constexpr DWORD kElevationRequired = 740;

DWORD failure() {
    DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

// Waits for the started program and gives its exit code.
DWORD waitForExit(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) code = failure();
    CloseHandle(process);
    return code;
}

// A program whose manifest asks for elevation cannot be created directly
// (error 740): the shell starts it, asking the user as the
// platform does for that program.
DWORD startElevated(const WCHAR* program, const WCHAR* arguments, int show) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program;
    info.lpParameters = arguments;
    info.nShow = show;
    if (!ShellExecuteExW(&info)) return failure();
    if (!info.hProcess) return ERROR_GEN_FAILURE;
    return waitForExit(info.hProcess);
}

DWORD startProgram(const WCHAR* commandLine) {
    WCHAR own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    WCHAR program[MAX_PATH];
    if (!realProgramPath(own, program, MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;

    const WCHAR* arguments = argumentsOf(commandLine);
    size_t units = commandLineUnits(program, arguments);
    HeapBuffer block(units * sizeof(WCHAR));
    WCHAR* line = reinterpret_cast<WCHAR*>(block.get());
    if (!line) return ERROR_NOT_ENOUGH_MEMORY;
    buildCommandLine(program, arguments, line, units);

    // The caller's window state, desktop, title (the shortcut's name when
    // started from one) and standard handles go on to the program; the C
    // runtime's private block does not.
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    startup.cb = sizeof startup;
    startup.lpReserved = nullptr;
    startup.cbReserved2 = 0;
    startup.lpReserved2 = nullptr;
    BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, line, nullptr, nullptr, inherit, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &process)) {
        if (GetLastError() != kElevationRequired) return failure();
        int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
        return startElevated(program, skipBlanks(arguments), show);
    }
    // The launcher may bring a window to the front (it was just started by
    // the user); its program's first window should come to the front too.
    AllowSetForegroundWindow(process.dwProcessId);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return waitForExit(process.hProcess);
}

DWORD runLauncher() {
    const WCHAR* commandLine = GetCommandLineW();
    switch (uninstallRequest(argumentsOf(commandLine))) {
    case UninstallRequest::Asked: return static_cast<DWORD>(setupUninstall());
    case UninstallRequest::Quiet: return static_cast<DWORD>(setupUninstallQuiet());
    case UninstallRequest::None: break;
    }
    return startProgram(commandLine);
}

}  // namespace

extern "C" void launcherEntry() { ExitProcess(static_cast<UINT>(runLauncher())); }
