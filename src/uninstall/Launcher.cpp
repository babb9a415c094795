#include "uninstall/Launcher.h"

#include <shellapi.h>

#include "common/Scoped.h"
#include "uninstall/HelperFile.h"
#include "uninstall/setup-uninstall.h"

namespace {

// The helper's command line: its path, the options, the program's path, all
// within the platform's 32767-unit command-line limit by a wide margin.
constexpr int kCommandSize = 3 * MAX_PATH + 200;
// CreateProcess of an image that asks for more rights than the caller has
// (the platform's headers lack the name).
constexpr DWORD kElevationRequired = 740;
// How often the wait for the report looks whether the helper has ended.
constexpr DWORD kPollMs = 50;

// Appends `text`; false when it does not fit with its terminator.
bool append(WCHAR* dst, int size, const WCHAR* text) {
    int used = lstrlenW(dst);
    int length = lstrlenW(text);
    if (used + length >= size) return false;
    for (int i = 0; i <= length; ++i) dst[used + i] = text[i];
    return true;
}

// Appends " <option> <value in decimal>".
bool appendNumber(WCHAR* dst, int size, const WCHAR* option, ULONG_PTR value) {
    WCHAR digits[24];
    int count = sizeof digits / sizeof digits[0] - 1;
    digits[count] = L'\0';
    do {
        digits[--count] = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    } while (value != 0 && count > 0);
    return append(dst, size, L" ") && append(dst, size, option) && append(dst, size, L" ") &&
           append(dst, size, digits + count);
}

ULONG_PTR valueOf(HANDLE handle) { return reinterpret_cast<ULONG_PTR>(handle); }

// The helper's current folder: the system folder, which it never removes
// and nobody else may write. (The caller's may be the install folder,
// which a process's current folder keeps from being removed.)
bool systemFolder(WCHAR (&folder)[MAX_PATH]) {
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

// A function of a system DLL, loaded from the system folder when first
// needed (the program's own folder is never searched). It stays loaded.
FARPROC systemFunction(const WCHAR* dll, const char* name) {
    WCHAR path[MAX_PATH];
    if (!systemFolder(path) || lstrlenW(path) + lstrlenW(dll) + 2 > MAX_PATH) return nullptr;
    lstrcatW(path, L"\\");
    lstrcatW(path, dll);
    HMODULE module = LoadLibraryW(path);
    return module ? GetProcAddress(module, name) : nullptr;
}

bool systemIsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD got = 0;
    BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &got);
    DWORD error = GetLastError();
    CloseHandle(token);
    // Systems before Vista do not know the question: there every process
    // has all its user's rights.
    if (!known) return error == ERROR_INVALID_PARAMETER;
    return elevation.TokenIsElevated != 0;
}

HANDLE systemStart(const WCHAR* path, const WCHAR* parameters) {
    WCHAR command[kCommandSize];
    WCHAR folder[MAX_PATH];
    command[0] = L'\0';
    if (!systemFolder(folder) || !append(command, kCommandSize, L"\"") || !append(command, kCommandSize, path) ||
        !append(command, kCommandSize, L"\" ") || !append(command, kCommandSize, parameters)) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return nullptr;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // No handle is inherited: the helper takes over the few it needs.
    if (!CreateProcessW(path, command, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// The shell shows the administrator prompt ("runas"); a program started so
// inherits no handle.
HANDLE systemStartElevated(const WCHAR* path, const WCHAR* parameters) {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    auto execute = reinterpret_cast<ShellExecuteExFn>(
        reinterpret_cast<void (*)()>(systemFunction(L"shell32.dll", "ShellExecuteExW")));
    WCHAR folder[MAX_PATH];
    if (!execute || !systemFolder(folder)) return nullptr;
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = path;
    info.lpParameters = parameters;
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    if (!execute(&info)) return nullptr;
    if (!info.hProcess) SetLastError(ERROR_INVALID_HANDLE);
    return info.hProcess;
}

void systemTellRefused() {
    using MessageBoxFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
    auto box = reinterpret_cast<MessageBoxFn>(reinterpret_cast<void (*)()>(systemFunction(L"user32.dll", "MessageBoxW")));
    if (!box) return;
    box(nullptr,
        L"The program has not been removed: removing it needs administrator rights, and they were not given.\n\n"
        L"Nothing was changed. Start the uninstall again to be asked again.",
        L"Uninstall", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

constexpr LaunchPlatform kSystemPlatform = {systemIsElevated, systemStart, systemStartElevated, systemTellRefused};

// The helper's report: one 32-bit result, written once everything but the
// running program's files is done. The helper holds a duplicate of the
// pipe's writing end, and so does this process until the report is in: a
// helper that ended without one is seen by its process handle.
int awaitReport(HANDLE pipe, HANDLE process) {
    for (bool ended = false;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return SETUP_UNINSTALL_FAILED;
        if (available >= sizeof(DWORD)) break;
        if (ended) return SETUP_UNINSTALL_FAILED;
        // One more look once it has ended: it may have written just before.
        ended = WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0;
    }
    DWORD result = 0;
    DWORD got = 0;
    if (!ReadFile(pipe, &result, sizeof result, &got, nullptr) || got != sizeof result ||
        result > SETUP_UNINSTALL_FAILED) {
        return SETUP_UNINSTALL_FAILED;
    }
    return static_cast<int>(result);
}

}  // namespace

const LaunchPlatform& systemLaunchPlatform() { return kSystemPlatform; }

int startRemover(const LaunchPlatform& platform, const void* image, DWORD size, const WCHAR* programPath, bool quiet,
                 HANDLE alsoWaitFor) {
    // Declared first, so that they close last: the helper file's keepers
    // then go after the helper has taken them over.
    HelperFile helper;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!helper.write(image, size) || !CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return SETUP_UNINSTALL_FAILED;
    ScopedHandle reportRead(readEnd);
    ScopedHandle reportWrite(writeEnd);

    // Handle values are this process's: the helper duplicates them from it
    // (RemoverCommand.cpp), so that nothing has to be inheritable.
    WCHAR parameters[kCommandSize];
    parameters[0] = L'\0';
    bool formed = append(parameters, kCommandSize, L"--remove") &&
                  (!quiet || append(parameters, kCommandSize, L" --quiet")) &&
                  appendNumber(parameters, kCommandSize, L"--parent", GetCurrentProcessId()) &&
                  appendNumber(parameters, kCommandSize, L"--report", valueOf(writeEnd)) &&
                  appendNumber(parameters, kCommandSize, L"--keep", valueOf(helper.fileKeeper())) &&
                  appendNumber(parameters, kCommandSize, L"--keep", valueOf(helper.folderKeeper())) &&
                  (!alsoWaitFor || appendNumber(parameters, kCommandSize, L"--wait", valueOf(alsoWaitFor))) &&
                  append(parameters, kCommandSize, L" --program \"") &&
                  append(parameters, kCommandSize, programPath) && append(parameters, kCommandSize, L"\"");
    if (!formed) return SETUP_UNINSTALL_FAILED;

    // The helper's image asks for administrator rights. A process that has
    // them starts it directly; any other must go through the prompt, as a
    // direct start fails with ERROR_ELEVATION_REQUIRED (which also sends a
    // start the token check let through to the prompt).
    ScopedHandle process;
    bool elevated = platform.isElevated();
    if (elevated) process.reset(platform.start(helper.path(), parameters));
    if (!elevated || (!process.isValid() && GetLastError() == kElevationRequired)) {
        process.reset(platform.startElevated(helper.path(), parameters));
        if (!process.isValid() && GetLastError() == ERROR_CANCELLED) {
            if (!quiet) platform.tellRefused();
            return SETUP_UNINSTALL_CANCELLED;
        }
    }
    // A helper that did not start is never written again: the call fails.
    if (!process.isValid()) return SETUP_UNINSTALL_FAILED;
    return awaitReport(reportRead.get(), process.get());
}
