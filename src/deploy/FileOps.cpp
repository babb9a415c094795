// Not built yet: every operation fails safely.
#include "deploy/FileOps.h"

int isExistingFile(const char*) { return 0; }
int isDirectory(const char*) { return 0; }
int addHiddenAttribute(const char*) { return 0; }
int addReadOnlyAttribute(const char*) { return 0; }
int addSystemAttribute(const char*) { return 0; }
int clearReadOnlyAttribute(const char*) { return 0; }
int deleteFile(const char*) { return 0; }
int removeTree(const char*) { return 0; }
