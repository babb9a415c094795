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
