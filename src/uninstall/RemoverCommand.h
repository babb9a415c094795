#pragma once
// The removal helper's command line (see RemoverCommand.cpp).
#include <windows.h>

// True when `argument` equals `option` without regard to case.
bool isOption(const WCHAR* argument, const WCHAR* option);

// The process `id`, opened with `access`, when it was created no later than
// this one: one that started this process. (A process that got the id of
// one that has ended was created after that one's end, so after this
// process's start.) Null otherwise. Not inheritable.
HANDLE openEarlierProcess(DWORD id, DWORD access);

// Runs "--remove ..." (argv[1] is "--remove"); returns the exit code.
int runRemoveCommand(WCHAR** argv, int argc);

// Restricts the DLL search to the system folder, splits the command line,
// runs "--remove ..." or else `otherRoles` (may be null: then any other
// command line fails), and returns the exit code.
int runHelper(int (*otherRoles)(WCHAR** argv, int argc));
