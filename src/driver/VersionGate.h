#pragma once
// Refusal to replace a newer installed version.
#include "driver/VersionText.h"

// Compares the installed DisplayVersion of ProgDir's uninstall entry with
// ProgVersion. false = the installed version is newer: do not install.
bool checkInstalledVersion();
