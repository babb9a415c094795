#pragma once
// Helpers of the deployment and registration tests.
#include <windows.h>

#include <string>
#include <vector>

#include "common/InstallState.h"

// A name no other test (or test process) uses: prefix, process id, counter.
std::string uniqueName(const std::string& prefix);

void setSlot(Slot slot, const std::string& text);

// Every path below `folder`, relative to it, sorted; folders end with "\".
// Empty when the folder does not exist.
std::vector<std::string> listTree(const std::string& folder);

bool pathExists(const std::string& path);
DWORD attributesOf(const std::string& path);

// Writes a file and gives it `attributes` (e.g. FILE_ATTRIBUTE_READONLY).
bool writeFileWithAttributes(const std::string& path, const std::string& contents, DWORD attributes);

// Removes a folder tree whatever its attributes (test cleanup).
void removeFolder(const std::string& path);

// The folder of the running test program, without a trailing backslash.
std::string programFolder();

// Removes the program group folder and the desktop shortcut of ProgName.
void removeShortcuts(const std::string& progName);

// Removes what registration and shortcuts made for the program of these
// names: vendor key, App Paths and Uninstall entries, program group folder
// and desktop shortcut (test cleanup).
void removeInstalledTraces(const std::string& progName, const std::string& progFile, const std::string& progDir);

// Everything in a registry key, sorted: a line "sub\path\" for each key below
// it and "sub\path\name=text" (REG_SZ) or "sub\path\name=dword:N" for each
// value; the default value's name is "@". Empty when the key is missing.
std::vector<std::string> dumpKey(HKEY root, const std::string& path);

// Runs a program of the test's folder (or a full path) with `arguments` and
// returns its exit code; -1 when it cannot be started or does not end
// within 60 seconds (it is then killed).
int runProgram(const std::string& program, const std::string& arguments);
