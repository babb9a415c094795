#pragma once
// The setup INI (resource 130): language choice, the text table and the
// document file type; and the INI helpers shared with folder customisation.
#include <windows.h>

// Stages the INI resource in a temporary "qrb" file, reads it with
// readSetupConfiguration and deletes the file again. false when the INI
// cannot be staged (nothing shown) or a key is missing.
bool loadSetupConfiguration(HWND owner);

// Picks the language (the locale's, or the two-letter Language of section
// Screen in the installed program's settings file, ProgFile + ".ini"), fills
// all 22 slots of SetupStrings from the sections language, EN, Settings and
// the four file-type values from FileType. A key missing from every section
// shows "Invalid Setup.Ini" (owned by `owner`, captioned "Setup") and gives
// false; the slots before it keep their new texts.
bool readSetupConfiguration(HWND owner, const char* iniFile);

// The two-letter language code: the user's locale ("EN" when it cannot be
// read), unless the installed program's settings file (ProgFile of section
// Settings of `iniFile`, with ".ini", in the Windows folder) names one as the
// two-letter Language of section Screen. Also used by the uninstaller, on
// its own copy of the Settings section. A section that records its code page
// (CodePage=, written by setup-pack) other than the system's ANSI code page
// is not used: its bytes would read as other characters, so the language
// is then EN.
void chooseLanguage(const char* iniFile, char (&language)[3]);

// Reads `key` from the first of the sections `language`, "EN", "Settings"
// of `iniFile` that has a non-empty value; false when none has.
bool readChained(const char* key, const char* language, char* value, DWORD size, const char* iniFile);

// GetPrivateProfileStringA into `buffer`; the count stored without the
// terminator (0: missing or empty). A value that filled the buffer is
// terminated in its last byte and counted as size - 1.
DWORD readIniString(const char* section, const char* key, const char* defaultText,
                    char* buffer, DWORD size, const char* fileName);

// GetPrivateProfileIntA's result, unchanged.
UINT readIniInt(const char* section, const char* key, INT defaultValue, const char* fileName);

// Writes `value` as signed decimal text.
void writeIniInt(const char* section, const char* key, int value, const char* fileName);

// Replaces every backslash followed by a lowercase n with CR LF, in place.
void convertLineBreaks(char* text);
