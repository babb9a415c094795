#pragma once
// Starting the removal helper from the user's temp folder. Shared by the
// library (which carries the helper's bytes) and by setup-uninstall.exe
// started from the program folder (which copies itself). Uses kernel32 only,
// so that the library needs nothing else.
#include <windows.h>

// Writes the helper into a new file of the temp folder (`image` of `size`
// bytes, or a copy of the calling executable when `image` is null), keeps it
// open with FILE_FLAG_DELETE_ON_CLOSE in a handle that the helper inherits,
// and starts it with "--remove", the program's path, the quiet flag, a pipe
// for its report, and the processes it must wait for: the caller, and
// `alsoWaitFor` when not null. Waits for the report (the user's answer and
// everything removed but the running program's files) and returns it: one of
// the SETUP_UNINSTALL_ results.
int startRemover(const void* image, DWORD size, const WCHAR* programPath, bool quiet, HANDLE alsoWaitFor);
