#pragma once
// The names of the staged trees, as the extraction finds them.
#include "common/InstallState.h"

// Keeps `name` (an entry name, relative to the staging folder) in the extent
// of the staged tree it lies in, when it is longer than the name kept there:
// "Program\Help\Guide.txt" is "Help\Guide.txt" of the Program tree, in any
// case. The tree's folder itself, and entries of no staged tree, change
// nothing.
void noteStagedEntry(const char* name, bool directory);
