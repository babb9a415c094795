// Not built yet: every operation fails safely.
#include "driver/RunSetup.h"

int runSetup(HINSTANCE, const char*) { return 0; }
bool readProgramFilesDir(char*) { return false; }
void closeRunningInstances() {}
const char* commandLineTail(const char* commandLine) { return commandLine; }
