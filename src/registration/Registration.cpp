// Not built yet: every operation fails safely.
#include "registration/Registration.h"

void registerProgram() {}
int readVersionInfo(const char*, char* versionText, unsigned*, unsigned*) { if (versionText) versionText[0] = 0; return 0; }
