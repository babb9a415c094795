#pragma once
// The removal helper's command line (see RemoverCommand.cpp).
#include <windows.h>

// True when `argument` equals `option` without regard to case.
bool isOption(const WCHAR* argument, const WCHAR* option);

// Runs "--remove ..." (argv[1] is "--remove"); returns the exit code.
int runRemoveCommand(WCHAR** argv, int argc);

// Splits the command line, runs "--remove ..." or else `otherRoles` (may be
// null: then any other command line fails), and returns the exit code.
int runHelper(int (*otherRoles)(WCHAR** argv, int argc));
