// Not built yet: every operation fails safely.
#include "ui/DirectoryDialog.h"

INT_PTR CALLBACK directoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) { if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL); return message == WM_INITDIALOG || message == WM_COMMAND; }
void launchProgram(const char*, const char*) {}
