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
};

// Runs the whole removal and returns one of the SETUP_UNINSTALL_ results
// (setup-uninstall.h). The early result goes through `report` as soon as
// everything but the files of the waited-for processes is done (or nothing
// will be): a 32-bit result, then the pipe is closed.
//
// Order, so that an interrupted run can be run again and finishes: file
// type, App Paths entry, vendor key, shortcuts, the install's files (those in
// use wait); report; wait for the program to end; the remaining files, the
// folders, the manifest, the install folder if empty; the uninstall entry
// last, and only when nothing of the install is left.
int runRemover(const RemoverRequest& request);
