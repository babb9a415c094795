#pragma once
// Starting the removal helper from the user's temp folder. Shared by the
// library (which carries the helper's bytes) and by setup-uninstall.exe
// started from the program folder (which copies itself). Uses kernel32 and
// advapi32, and shell32 and user32 loaded only when elevation is asked for.
#include <windows.h>

// The platform calls that decide how the helper gets administrator rights;
// the tests put their own in place.
struct LaunchPlatform {
    // The calling process's token is elevated, or the system has no
    // elevation (then every process has what its user has).
    bool (*isElevated)();
    // Starts `path` with `parameters`, handing it no handle; the process
    // handle, or null with the platform's error as the last error.
    HANDLE (*start)(const WCHAR* path, const WCHAR* parameters);
    // The same through the administrator prompt; ERROR_CANCELLED when the
    // user refused it.
    HANDLE (*startElevated)(const WCHAR* path, const WCHAR* parameters);
    // Tells the user that the refused prompt left everything in place.
    void (*tellRefused)();
};

// The platform's own calls.
const LaunchPlatform& systemLaunchPlatform();

// Writes the helper into a folder of its own under the temp folder
// (`image` of `size` bytes, or a copy of the calling executable when
// `image` is null; see HelperFile.cpp), and starts it with "--remove", the
// program's path, the quiet flag and the values of the handles it takes
// over from this process: its report pipe, the keepers of its file and
// folder, and `alsoWaitFor` (a process whose end it waits for besides this
// one's) when not null. A process that is not elevated starts it through
// the administrator prompt. Waits for the report (the user's answer and
// everything removed but the running program's files) and returns it: one
// of the SETUP_UNINSTALL_ results; SETUP_UNINSTALL_CANCELLED also when the
// prompt was refused.
int startRemover(const LaunchPlatform& platform, const void* image, DWORD size, const WCHAR* programPath, bool quiet,
                 HANDLE alsoWaitFor);
