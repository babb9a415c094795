#pragma once
// What an installer left in the prefix, as readable text: the program and
// documents folders, the registry entries and the two shortcuts.
#include <string>

// `installer` is the installer's file (searched like a program to start); the
// names come from its setup INI (RCDATA 130). Ends with a line
// "Summary: ..." that scripts can pick up.
std::string installationReport(const std::string& installer);
