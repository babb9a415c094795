// Not built yet: every operation fails safely.
#include "deploy/InstallStep.h"

int installProgram(HWND) { return 0; }
