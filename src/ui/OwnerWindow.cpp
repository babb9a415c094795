#include "ui/OwnerWindow.h"

#include "common/InstallState.h"
#include "res/resource.h"
#include "ui/TaskbarProgress.h"

namespace {

const char kClassName[] = "QRBInstalling";

// Functions of newer systems, looked up at run time so that setup.exe starts
// on every system it supports; null where the system lacks them.
// The library stays loaded for the run (from the system folder only: see
// Main.cpp); one already loaded is only counted once more.
FARPROC systemFunction(const char* library, const char* name) {
    HMODULE module = LoadLibraryA(library);
    return module ? GetProcAddress(module, name) : nullptr;
}

template <class Function>
Function systemFunctionAs(const char* library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(systemFunction(library, name)));
}

// The installer's icon at `width` x `height` pixels, the sizes the system
// asks for at the DPI it runs at: scaled down from a larger image of the
// icon group where the common controls can, else the nearest image.
HICON loadSetupIcon(int width, int height) {
    using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    auto scaleDown = systemFunctionAs<LoadIconWithScaleDownFn>("comctl32.dll", "LoadIconWithScaleDown");
    HICON icon = nullptr;
    if (scaleDown && scaleDown(installState.instance, MAKEINTRESOURCEW(IDI_SETUP), width, height, &icon) == S_OK) {
        return icon;
    }
    return static_cast<HICON>(LoadImageA(installState.instance, MAKEINTRESOURCEA(IDI_SETUP), IMAGE_ICON, width,
                                         height, LR_DEFAULTCOLOR));
}

// The shell tells a window that its taskbar button exists with this message;
// 0 until registered (0 is WM_NULL, which must not be taken for it).
UINT taskbarButtonMessage;

// The installer runs elevated, and the shell does not: let the shell's
// message through to the owner window (the filter exists where the taskbar
// can show progress).
void acceptTaskbarButtonMessage(HWND window) {
    using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    auto allow = systemFunctionAs<ChangeWindowMessageFilterExFn>("user32.dll", "ChangeWindowMessageFilterEx");
    const DWORD kAllow = 1;  // MSGFLT_ALLOW
    if (allow) allow(window, taskbarButtonMessage, kAllow, nullptr);
}

}  // namespace

OwnerWindow::~OwnerWindow() {
    if (window) DestroyWindow(window);
    if (classAtom) UnregisterClassA(kClassName, installState.instance);
}

void OwnerWindow::create() {
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = ownerWindowProc;
    windowClass.hInstance = installState.instance;
    windowClass.hIcon = loadSetupIcon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));  // IDC_WAIT
    windowClass.lpszClassName = kClassName;
    classAtom = RegisterClassExA(&windowClass) & 0xFFFF;

    taskbarButtonMessage = RegisterWindowMessageA("TaskbarButtonCreated");
    // Zero size, no frame, but visible and unowned: the installer's taskbar
    // button, and the owner of every message box of the run.
    window = CreateWindowExA(0, kClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr,
                             installState.instance, nullptr);
    acceptTaskbarButtonMessage(window);
}

LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 1;
    }
    // Sent again when the shell restarts and makes the button anew.
    if (taskbarButtonMessage != 0 && message == taskbarButtonMessage) {
        taskbarButtonCreated(window);
        return 0;
    }
    // Every message box of the run is owned by this window, which is
    // disabled while one shows: the progress goes from the button then, and
    // comes back with the work (after Retry).
    if (message == WM_ENABLE && !wParam) pauseTaskbarProgress();
    return DefWindowProcA(window, message, wParam, lParam);
}

__attribute__((noinline)) int centeredCoordinate(int screen, int size) {
    long long free = static_cast<long long>(screen) - size;
    return free > 0 ? static_cast<int>(free / 2) : 0;
}

void centeredPosition(const RECT& area, const RECT& window, POINT& position) {
    position.x = area.left + centeredCoordinate(area.right - area.left, window.right - window.left);
    position.y = area.top + centeredCoordinate(area.bottom - area.top, window.bottom - window.top);
}

void centerWindow(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    // The work area of the monitor the window is on (or nearest to), in that
    // monitor's own pixels: the taskbar does not cover the window, and on a
    // second monitor the window stays there.
    MONITORINFO monitor;
    ZeroMemory(&monitor, sizeof monitor);
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    POINT position;
    centeredPosition(monitor.rcWork, rect, position);
    SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
