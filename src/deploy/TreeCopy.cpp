// Not built yet: every operation fails safely.
#include "deploy/TreeCopy.h"

int copyTree(HWND, const char*, const char*, int, int) { return 0; }
int copyTreeIfPresent(HWND, const char*, const char*, int, int) { return 0; }
