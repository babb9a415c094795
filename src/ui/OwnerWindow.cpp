#include "ui/OwnerWindow.h"

#include "common/InstallState.h"
#include "res/resource.h"

namespace {

const char kClassName[] = "QRBInstalling";

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
    windowClass.hIcon = LoadIconA(installState.instance, MAKEINTRESOURCEA(IDI_SETUP));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));  // IDC_WAIT
    windowClass.lpszClassName = kClassName;
    classAtom = RegisterClassExA(&windowClass) & 0xFFFF;

    // Zero size, no frame, but visible and unowned: the installer's taskbar
    // button, and the owner of every message box of the run.
    window = CreateWindowExA(0, kClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr,
                             installState.instance, nullptr);
}

LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int centeredCoordinate(int screen, int size) {
    long long free = static_cast<long long>(screen) - size;
    return free > 0 ? static_cast<int>(free / 2) : 0;
}

void centerWindow(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    HDC context = GetDC(window);
    int screenWidth = GetDeviceCaps(context, HORZRES);
    int screenHeight = GetDeviceCaps(context, VERTRES);
    ReleaseDC(window, context);
    SetWindowPos(window, nullptr, centeredCoordinate(screenWidth, rect.right - rect.left),
                 centeredCoordinate(screenHeight, rect.bottom - rect.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
