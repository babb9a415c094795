/* A vendor's program written in another language, reduced to its "-u"
 * handling: it starts setup-uninstall.exe from its own folder with its own
 * arguments ("-u" or "-u -s") and ends with the helper's exit code, as the
 * one-line call of a scripting language does. Any other command line ends it
 * at once. Plain C, no uninstall library. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    char helper[MAX_PATH];
    char command[2 * MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, helper, MAX_PATH);
    int cut = (int)length;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    DWORD code = 5;
    (void)instance;
    (void)previous;
    (void)show;
    if (arguments[0] != '-' || arguments[1] != 'u') return 0;
    if (length == 0 || length >= MAX_PATH) return 5;
    while (cut > 0 && helper[cut - 1] != '\\') --cut;
    if (cut + 20 >= MAX_PATH) return 5;
    lstrcpyA(helper + cut, "setup-uninstall.exe");
    if (lstrlenA(helper) + lstrlenA(arguments) + 4 >= (int)sizeof command) return 5;
    wsprintfA(command, "\"%s\" %s", helper, arguments);
    if (!CreateProcessA(helper, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return 5;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
