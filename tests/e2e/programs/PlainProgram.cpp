// A vendor's program that knows nothing of the uninstaller: "-u" is just an
// argument to it. It opens a window titled "Plain Notes" and ends with exit
// code 7 when the window is closed. When PLAIN_PROGRAM_MARKER names a file,
// each start appends its command line and working folder to it (one line
// each), so that a test sees every start, "-u" included.
#include <windows.h>

namespace {

const char kTitle[] = "Plain Notes";
constexpr int kExitCode = 7;

void appendLine(HANDLE file, const char* text) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
}

void recordStart() {
    char marker[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PLAIN_PROGRAM_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker) return;
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char folder[MAX_PATH];
    length = GetCurrentDirectoryA(sizeof folder, folder);
    appendLine(file, GetCommandLineA());
    appendLine(file, length > 0 && length < sizeof folder ? folder : "?");
    CloseHandle(file);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(kExitCode);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    recordStart();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "PlainNotesWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 200, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
