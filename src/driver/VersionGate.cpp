// Not built yet: every operation fails safely.
#include "driver/VersionGate.h"

bool checkInstalledVersion() { return false; }
