// Entry point of setup.exe. There is no C runtime start-up code (it would
// double the installer's size): the platform calls setupEntry directly, and
// no global constructor runs, so global objects must not need one.
#include <windows.h>

#include "driver/RunSetup.h"

namespace {

// The installer usually runs from a downloads folder, where a planted DLL
// would be loaded in place of a system DLL that is not a known DLL. Where the
// platform has the search flags, DLLs loaded from here on are looked for in
// the system directory only.
void restrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (!found) return;
    reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

extern "C" void setupEntry() {
    restrictDllSearch();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ExitProcess(static_cast<UINT>(runSetup(instance, commandLineTail(GetCommandLineA()))));
}
