#pragma once
// setup-pack init: a first setup INI for a program, for the vendor to edit.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "SourceIni.h"

// Texts the vendor must still write are given as "<what to write>"; check
// reports a value of that form as an error.
bool isInitPlaceholder(const std::string& value);

// Writes a UTF-8 setup INI for the program at `programPath` (a file of the
// payload's Program folder): [Settings] from the program (ProgFile from its
// name, ProgVersion from its version record, ProgName from its ProductName
// where it has one), [EN] with `english`'s standard texts and placeholders
// for the three product texts, a commented [FileType] example and a note on
// languages. False, with a reason, when the program cannot be read.
bool makeStarterIni(const std::string& programPath, const Translation& english, std::string& ini,
                    std::string& error);
