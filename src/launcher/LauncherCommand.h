#pragma once
// The launcher's command line (see LauncherMain.cpp), in portable code so
// that the build machine's tests read it the same way. Texts are UTF-16 on
// Windows (wchar_t); nothing here calls the platform.
#include <stddef.h>

// The vendor's program, stored beside the launcher: "ProgFile.exe" becomes
// "ProgFile" + this suffix.
constexpr char kLauncherProgramSuffix[] = ".program.exe";

enum class UninstallRequest { None, Asked, Quiet };

// What follows the program name of a whole command line, read as the
// platform reads its first argument: up to the closing quote when it starts
// with one, else up to the first blank (space or tab). The result may start
// with blanks.
const wchar_t* argumentsOf(const wchar_t* commandLine);
const wchar_t* skipBlanks(const wchar_t* text);

// "-u" alone: Asked; "-u -s": Quiet (any case, any blanks around them);
// anything else, however close: None.
UninstallRequest uninstallRequest(const wchar_t* arguments);

// The program's path from the launcher's own: its ".exe" (any case) replaced
// by the suffix above. False when `own` does not end with ".exe" or the
// result (terminator included) does not fit `size` units.
bool realProgramPath(const wchar_t* own, wchar_t* out, size_t size);

// The command line the program gets: its path in quotes, then `arguments`
// as they came (a blank put between when they do not start with one).
// commandLineUnits gives the units it needs, terminator included; the build
// writes at most `size` units and always terminates.
size_t commandLineUnits(const wchar_t* program, const wchar_t* arguments);
void buildCommandLine(const wchar_t* program, const wchar_t* arguments, wchar_t* out, size_t size);
