#pragma once
// Starting another program without waiting for it.

// Starts `commandLine` (written to by the platform while it runs) shown
// normally, at normal priority, with the installer's environment, in
// `currentDirectory` (null: the installer's). The process is not waited for
// and its handles are closed at once. true = started.
bool startProgram(char* commandLine, const char* currentDirectory);
