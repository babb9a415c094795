#pragma once
// The install step: deploy the staged trees, register, make shortcuts.
#include <windows.h>

// Copies the staged Program tree into the install directory and the staged
// Documents tree into ProgDir in the user's documents folder, then registers
// the program and creates its shortcuts. Sets installState.installDir first
// and installState.programPath once both copies succeeded. 1 = installed;
// 0 = a path would not fit (nothing copied; a message captioned ProgName
// names it with its length and the limit), or a copy failed and what this
// run created has been removed (what existed before stays).
int installProgram(HWND owner);
