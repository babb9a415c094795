// Not built yet: every operation fails safely.
#include "ui/OwnerWindow.h"

OwnerWindow::~OwnerWindow() {}
void OwnerWindow::create() {}
LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return DefWindowProcA(window, message, wParam, lParam); }
void centerWindow(HWND) {}
