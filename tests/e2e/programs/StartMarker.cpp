// A program that says it was started: it writes its command line into a file
// named after itself with ".started" added, then ends. Planted where a
// misquoted command line would start it, and installed as the program.
#include <windows.h>

int main() {
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    lstrcpynA(path + length, ".started", 9);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char* commandLine = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, commandLine, lstrlenA(commandLine), &written, nullptr);
    CloseHandle(file);
    return 0;
}
