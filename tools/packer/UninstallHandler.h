#pragma once
// What runs when the uninstall entry's command "<install folder>\ProgFile.exe"
// -u is started, as far as the payload shows it.
#include <stdint.h>

#include <string>
#include <vector>

enum class UninstallHandler {
    Launcher,  // build --launcher: the launcher stands in ProgFile.exe's place
    Library,   // the program holds the uninstall library (it calls setupUninstall)
    Helper,    // the program names setup-uninstall.exe, which Program/ holds
    Unknown,   // nothing known: the program gets "-u" as an argument of its own
};

// The uninstall component's marks, as they lie in any program that carries
// it (the library, or setup-uninstall.exe): the removal helper's command
// line (UTF-16) and the manifest's name in its messages (8-bit).
bool holdsUninstallComponent(const std::vector<uint8_t>& program);
// The program names setup-uninstall.exe (8-bit or UTF-16, any case).
bool namesUninstallHelper(const std::vector<uint8_t>& program);

// The handler for a program's bytes; `helperInProgram`: Program/ holds
// setup-uninstall.exe; `launcher`: the installer is built with --launcher.
UninstallHandler findUninstallHandler(const std::vector<uint8_t>& program, bool helperInProgram, bool launcher);
