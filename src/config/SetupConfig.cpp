// Not built yet: every operation fails safely.
#include "config/SetupConfig.h"

bool loadSetupConfiguration(HWND) { return false; }
DWORD readIniString(const char*, const char*, const char*, char* buffer, DWORD size, const char*) { if (size) buffer[0] = 0; return 0; }
UINT readIniInt(const char*, const char*, INT defaultValue, const char*) { return defaultValue; }
void writeIniInt(const char*, const char*, int, const char*) {}
