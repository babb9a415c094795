#pragma once
// The install prompt (dialog 132): confirmation and install directory.
#include <windows.h>

// Ends with 6 (Yes, base directory valid and stored) or 2 (No, Escape, close).
INT_PTR CALLBACK installPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
