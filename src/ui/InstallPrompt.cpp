// Not built yet: every operation fails safely.
#include "ui/InstallPrompt.h"

INT_PTR CALLBACK installPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) { if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDNO)) EndDialog(dialog, IDCANCEL); return message == WM_INITDIALOG || message == WM_COMMAND; }
