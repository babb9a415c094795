#pragma once
// The run from entry to exit.
#include <windows.h>

// The whole run: configuration, existing installation, version gate, prompt
// (unless `commandTail` is "-s"), extraction, install, launch and cleanup.
// 1 when the program was installed (and its start attempted), else 0.
int runSetup(HINSTANCE instance, const char* commandTail);

// Reads ProgramFilesDir into `path` (at least 260 bytes); false leaves it
// unchanged.
bool readProgramFilesDir(char* path);

// Asks top-level windows titled ProgName to close: at most 5 posted
// SC_CLOSE requests, 300 ms apart.
void closeRunningInstances();

// The command line without the program's own name: the name (in double
// quotes, or else up to the first byte of value 32 or less) and every byte of
// value 32 or less after it are skipped, as the GUI entry convention does.
const char* commandLineTail(const char* commandLine);

// True when the whole tail is "-s" without regard to case: an unattended run.
bool isUnattendedTail(const char* tail);

// What an existing installation's InstallLocation gives as base directory.
enum class InstallLocation {
    Matches,   // it ended in a backslash and ProgDir, now cut off there
    Whole,     // it did not: the whole value is the base directory
    Unusable,  // with a backslash and ProgDir it would not fit a path
};

// Classifies `location` (a terminated text) against `progDir`, cutting it at
// the backslash before ProgDir when it matches.
InstallLocation matchInstallLocation(char* location, const char* progDir);
