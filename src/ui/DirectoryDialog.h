#pragma once
// The directory dialog (dialog 134): choice of the base directory.
#include <windows.h>

// Ends with 1 (a directory was stored as the base directory) or 2 (Cancel).
INT_PTR CALLBACK directoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Starts `program` with one quoted argument; does not wait, reports nothing.
void launchProgram(const char* program, const char* argument);
