#pragma once
// Registry entries of the installed program.

// Writes the vendor key, the App Paths entry, the Uninstall entry and, when a
// file extension is configured, the document file type. Reports nothing and
// never fails the install.
void registerProgram();

// Reads the fixed version record of `path`. `versionText` (may be null, at
// least 260 bytes) receives "major.minor" of the file version, or "" on
// failure; `major`/`minor` receive the product version's high and low halves
// (left unwritten on failure). 1 = read, 0 = no version record.
int readVersionInfo(const char* path, char* versionText, unsigned* major, unsigned* minor);
