// The removal helper's command line, shared by the two builds of the
// helper: the one the library carries (this role only) and
// setup-uninstall.exe (see HelperMain.cpp).
//
//   <temp copy> --remove [--quiet] --parent ID [--report H] [--keep H]...
//               [--wait H]... --program PATH
//       The removal itself (Remover.h), started by the library or by
//       setup-uninstall.exe -u (Launcher.cpp), which hands it no handle.
//       ID is the starting process's id; each H is the value of a handle in
//       that process, which the helper duplicates from it: the report pipe,
//       the keepers of its own file and of its folder (see leaveOwnFolder),
//       and processes whose end it waits for besides the starting one's.
#include "uninstall/RemoverCommand.h"

#include <shellapi.h>

#include "common/Scoped.h"
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

// DLLs that the helper, or a system DLL on its behalf, loads by name are
// looked for in the system folder only: never in the helper's own folder
// under the temp folder, nor in the current folder. (What the image
// imports is loaded before this runs: system DLLs only, which the loader
// takes from the system's list of known DLLs or the system folder.)
void restrictDllSearch() {
    SetDllDirectoryW(L"");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (!found) return;
    reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A duplicate of the handle whose value `text` gives in the process
// `parent`; null when there is none.
HANDLE takeOver(HANDLE parent, const WCHAR* text) {
    HANDLE value = handleOf(text);
    HANDLE own = nullptr;
    if (!parent || !value ||
        !DuplicateHandle(parent, value, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return own;
}

// The helper's own file, when it lies in a folder of its own directly under
// the temp folder (as the launcher writes it): its path in `own`, the
// length of its folder's path in `folderLength`.
bool findOwnPlace(WCHAR (&own)[MAX_PATH], DWORD& folderLength) {
    WCHAR temp[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || tempLength == 0 || tempLength >= MAX_PATH || tempLength >= length) {
        return false;
    }
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, own, static_cast<int>(tempLength), temp,
                       static_cast<int>(tempLength)) != CSTR_EQUAL) {
        return false;
    }
    folderLength = length;
    while (folderLength > tempLength && own[folderLength - 1] != L'\\') --folderLength;
    if (folderLength <= tempLength + 1) return false;
    --folderLength;
    for (DWORD i = tempLength; i < folderLength; ++i) {
        if (own[i] == L'\\') return false;
    }
    return true;
}

bool isThere(const WCHAR* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// At the helper's end: its file leaves its folder for the temp folder
// itself (renamed through its keeper, as a running program's file may be
// renamed but not deleted), so that the folder's keeper deletes the folder
// now; the file goes when its keeper closes, at the process's end. Where
// the platform keeps a program's file past that, or the file could not
// leave, what stays is deleted at the system's next start.
void leaveOwnFolder(HANDLE fileKeeper, HANDLE folderKeeper) {
    WCHAR own[MAX_PATH];
    DWORD folderLength = 0;
    if (!findOwnPlace(own, folderLength)) return;
    // "\??\<temp>\sun<digits>.tmp": the platform's own form of the path.
    struct {
        FILE_RENAME_INFO info;
        WCHAR room[MAX_PATH + 8];
    } rename;
    ZeroMemory(&rename, sizeof rename);
    WCHAR* name = rename.info.FileName;
    lstrcpyW(name, L"\\??\\");
    lstrcpynW(name + 4, own, static_cast<int>(folderLength) + 1);
    lstrcatW(name, L".tmp");
    rename.info.FileNameLength = static_cast<DWORD>(lstrlenW(name)) * sizeof(WCHAR);
    using SetFileInformationByHandleFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    auto setInformation = reinterpret_cast<SetFileInformationByHandleFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetFileInformationByHandle")));
    bool left = fileKeeper && setInformation && setInformation(fileKeeper, FileRenameInfo, &rename, sizeof rename);
    if (folderKeeper) CloseHandle(folderKeeper);
    const WCHAR* file = left ? name + 4 : own;
    if (isThere(file)) MoveFileExW(file, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    own[folderLength] = L'\0';
    if (isThere(own)) MoveFileExW(own, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// What the helper takes over from the process that started it.
struct TakenOver {
    static constexpr DWORD kKeepers = 2;
    static constexpr DWORD kWaits = kMaxWaitHandles - 1;  // the starting process is one more

    TakenOver() = default;
    TakenOver(const TakenOver&) = delete;
    TakenOver& operator=(const TakenOver&) = delete;
    // The keepers, unless kept to the end: the file's first.
    ~TakenOver() {
        for (DWORD i = 0; i < keeperCount; ++i) CloseHandle(keepers[i]);
        if (report) CloseHandle(report);
    }
    // The end of the helper's work: the folder goes now, the file at the
    // process's end (see leaveOwnFolder); its keeper stays open until then.
    void leaveOwnFolder() {
        ::leaveOwnFolder(keeperCount > 0 ? keepers[0] : nullptr, keeperCount > 1 ? keepers[1] : nullptr);
        keeperCount = 0;
    }

    ScopedHandle parent;
    HANDLE report = nullptr;
    HANDLE keepers[kKeepers] = {};
    DWORD keeperCount = 0;
    ScopedHandle waits[kWaits];
    DWORD waitCount = 0;
};

}  // namespace

HANDLE openEarlierProcess(DWORD id, DWORD access) {
    HANDLE process = OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) process = OpenProcess(access | PROCESS_QUERY_INFORMATION, FALSE, id);  // before Vista
    if (!process) return nullptr;
    FILETIME created, own, ignored[3];
    if (GetProcessTimes(process, &created, &ignored[0], &ignored[1], &ignored[2]) &&
        GetProcessTimes(GetCurrentProcess(), &own, &ignored[0], &ignored[1], &ignored[2]) &&
        CompareFileTime(&created, &own) <= 0) {
        return process;
    }
    CloseHandle(process);
    return nullptr;
}

bool isOption(const WCHAR* argument, const WCHAR* option) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, argument, -1, option, -1) == CSTR_EQUAL;
}

int runRemoveCommand(WCHAR** argv, int argc) {
    TakenOver taken;
    RemoverRequest request;
    bool formed = true;
    for (int i = 2; i < argc && formed; ++i) {
        bool hasValue = i + 1 < argc;
        if (isOption(argv[i], L"--quiet")) {
            request.quiet = true;
        } else if (isOption(argv[i], L"--parent") && hasValue && !taken.parent.isValid()) {
            // The one process the helper takes handles from, and waits for.
            DWORD id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(handleOf(argv[++i])));
            taken.parent.reset(id ? openEarlierProcess(id, SYNCHRONIZE | PROCESS_DUP_HANDLE) : nullptr);
            formed = taken.parent.isValid();
        } else if (isOption(argv[i], L"--report") && hasValue && !taken.report) {
            taken.report = takeOver(taken.parent.get(), argv[++i]);
            formed = taken.report && GetFileType(taken.report) == FILE_TYPE_PIPE;
        } else if (isOption(argv[i], L"--keep") && hasValue && taken.keeperCount < TakenOver::kKeepers) {
            HANDLE keeper = takeOver(taken.parent.get(), argv[++i]);
            if (keeper) taken.keepers[taken.keeperCount++] = keeper;
            formed = keeper != nullptr;
        } else if (isOption(argv[i], L"--wait") && hasValue && taken.waitCount < TakenOver::kWaits) {
            // A process that has ended already is not waited for.
            HANDLE process = takeOver(taken.parent.get(), argv[++i]);
            if (process) taken.waits[taken.waitCount++].reset(process);
        } else if (isOption(argv[i], L"--program") && hasValue) {
            request.programPath = argv[++i];
        } else {
            formed = false;
        }
    }
    if (!formed || !taken.parent.isValid() || !taken.report || !request.programPath) return SETUP_UNINSTALL_FAILED;
    for (DWORD i = 0; i < taken.waitCount; ++i) request.waits[request.waitCount++] = taken.waits[i].get();
    request.waits[request.waitCount++] = taken.parent.get();
    request.report = taken.report;
    taken.report = nullptr;  // the removal closes it once it has reported
    int result = runRemover(request);
    taken.leaveOwnFolder();
    return result;
}

int runHelper(int (*otherRoles)(WCHAR** argv, int argc)) {
    restrictDllSearch();
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
