/* A vendor's program written in another language, reduced to its "-u"
 * handling: it starts setup-uninstall.exe from its own folder with its own
 * arguments ("-u" or "-u -s") and ends with the helper's exit code, as the
 * README's line for other languages does: through the shell with the verb
 * "runas", so that a program that runs without administrator rights gets
 * the prompt (a plain CreateProcess fails there with
 * ERROR_ELEVATION_REQUIRED). Any other command line ends it at once. Plain C,
 * no uninstall library. */
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    char helper[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, helper, MAX_PATH);
    int cut = (int)length;
    SHELLEXECUTEINFOA info;
    DWORD code = 5;
    (void)instance;
    (void)previous;
    (void)show;
    if (arguments[0] != '-' || arguments[1] != 'u') return 0;
    if (length == 0 || length >= MAX_PATH) return 5;
    while (cut > 0 && helper[cut - 1] != '\\') --cut;
    if (cut + 20 >= MAX_PATH) return 5;
    lstrcpyA(helper + cut, "setup-uninstall.exe");
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = "runas";
    info.lpFile = helper;
    info.lpParameters = arguments;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info) || !info.hProcess) return 5;
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return (int)code;
}
