#pragma once
// The removal itself, run by setup-uninstall.exe from the temp folder: finds
// the install from the program's path and setup-uninstall.ini, asks the
// user, removes what the install made, and reports.
#include <windows.h>

constexpr DWORD kMaxWaitHandles = 4;

struct RemoverRequest {
    const WCHAR* programPath = nullptr;  // the program that asked for the removal
    bool quiet = false;                  // no window at all
    HANDLE report = nullptr;             // pipe for the early result; null: none
    HANDLE waits[kMaxWaitHandles] = {};  // processes whose end the last step waits for
    DWORD waitCount = 0;
    // For tests: the run stops before its change number `stopBeforeStep`
    // (0, 1, ...), as if the process had ended there; -1: it runs through.
    int stopBeforeStep = -1;
};

// Runs the whole removal and returns one of the SETUP_UNINSTALL_ results
// (setup-uninstall.h). The early result goes through `report` as soon as
// everything but the files of the waited-for processes is done (or nothing
// will be): a 32-bit result, then the pipe is closed.
//
// It acts only on the install the program belongs to: a manifest of the
// install folder lists the program, and the uninstall entry, while there is
// one, names that folder; otherwise, and when the install folder is a link,
// it refuses (FAILED) and removes nothing.
//
// Order, so that a run cut short at any point can be run again with the
// same command and finishes: file type, App Paths entry, vendor key,
// shortcuts, the install's files (those in use wait); report; wait for the
// program to end; the remaining files (a file held for a moment is tried
// again for a few seconds), the folders; then, only when nothing else of the
// install is left that should go, the install folder is held for deletion,
// the uninstall entry goes, and the program and its manifests go together.
int runRemover(const RemoverRequest& request);
