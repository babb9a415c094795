// Not built yet: every operation fails safely.
#include "registration/Shortcuts.h"

void createShortcuts() {}
int createShellLink(const char*, const char*, const char*, const char*) { return 0; }
int getPersonalFolder(char* path) { path[0] = 0; return 0; }
int getProgramsFolder(char* path) { path[0] = 0; return 0; }
int getDesktopFolder(char* path) { path[0] = 0; return 0; }
