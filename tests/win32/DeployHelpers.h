#pragma once
// Helpers of the deployment and registration tests, on top of the harness's
// prefix checks.
#include <windows.h>

#include <string>
#include <vector>

#include "PrefixState.h"
#include "WindowWatcher.h"
#include "common/InstallState.h"

// A name no other test (or test process) uses: prefix, process id, counter.
std::string uniqueName(const std::string& prefix);

void setSlot(Slot slot, const std::string& text);

// Every path below `folder`, relative to it, sorted; folders end with "\".
std::vector<std::string> treePaths(const std::string& folder);

// Writes a file and gives it `attributes` (e.g. FILE_ATTRIBUTE_READONLY).
bool writeFileWithAttributes(const std::string& path, const std::string& contents, DWORD attributes);

// Everything in a registry key, sorted: a line "sub\path\" for each key below
// it and "sub\path\name=text" for each value ("name=dword:N" for a DWORD);
// the default value's name is "@". Empty when the key is missing.
std::vector<std::string> dumpKey(HKEY root, const std::string& path);

// Removes the program group folder and the desktop shortcut of ProgName.
void removeShortcuts(const std::string& progName);

// Removes what registration and shortcuts made for the program of these
// names: vendor key, App Paths and Uninstall entries, program group folder
// and desktop shortcut (test cleanup).
void removeInstalledTraces(const std::string& progName, const std::string& progFile, const std::string& progDir);

// The message texts of the windows a BackgroundWatcher saw, in order.
std::vector<std::string> messageTexts(const std::vector<SeenWindow>& seen);
