#pragma once
// The setup INI (resource 130): language choice, the text table and the
// document file type; and the INI helpers shared with folder customisation.
#include <windows.h>

// Stages the INI resource in a temporary "qrb" file, picks the language
// (locale, or the Language of the installed program's settings file), fills
// all 22 slots of SetupStrings and the four file-type values, and deletes the
// temporary file. A key missing from every section shows "Invalid Setup.Ini"
// (owned by `owner`, captioned "Setup"). true = the table is complete.
bool loadSetupConfiguration(HWND owner);

// GetPrivateProfileStringA into `buffer`; the count stored without the
// terminator (0: missing or empty). A value that filled the buffer is
// terminated in its last byte and counted as size - 1.
DWORD readIniString(const char* section, const char* key, const char* defaultText,
                    char* buffer, DWORD size, const char* fileName);

// GetPrivateProfileIntA's result, unchanged.
UINT readIniInt(const char* section, const char* key, INT defaultValue, const char* fileName);

// Writes `value` as signed decimal text.
void writeIniInt(const char* section, const char* key, int value, const char* fileName);
