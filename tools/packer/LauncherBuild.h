#pragma once
// setup-pack build --launcher: the prebuilt launcher (setup-launcher.exe)
// takes the place of the vendor's program in the payload, so that a program
// that cannot handle "-u" is still uninstalled by its uninstall entry.
//
// Program/<ProgFile>.exe is stored as Program/<ProgFile>.program.exe, byte
// for byte; the launcher, given that program's icons, icon groups and
// version record, is stored as Program/<ProgFile>.exe with the program's
// times and attributes. Both are listed in the uninstall manifest like every
// other file.
#include <cstdio>
#include <string>
#include <vector>

#include "IniFacts.h"

#include "PackTree.h"
#include "PeImage.h"

// Where the launcher is looked for when --launcher names none, in order:
// beside the setup-pack program, in the build trees around it, then the
// installed copy under share/setup-pack.
std::vector<std::string> launcherCandidates(const std::string& programPath);

// The launcher image with the program's icon and version resources (every
// language of resource types 3, 14 and 16) copied into it; the launcher's
// own manifest stays. False, with a reason, when the launcher is not a
// Windows GUI program or cannot be rewritten.
bool launcherFor(const PeImage& program, const PeImage& launcher, ByteVector& image, std::string& error);

// Fills `pack.launcher` for the payload folder: finds Program/<progFile>.exe
// (progFile as UTF-8, found without regard to ASCII case), checks that it is
// a Windows GUI program, and makes the launcher for it from `launcherPath`.
// False, with the file the reason is about in `where`, when it cannot.
bool prepareLauncher(const std::string& payload, const std::string& progFile, const std::string& launcherPath,
                     PackOptions& pack, std::string& where, std::string& error);

// What build does with --launcher: the launcher from `launcherFile` (empty:
// the first of launcherCandidates(programPath) that exists) made for the
// payload's ProgFile program into `pack`. Reports one compiler-style error
// line to `err` and gives false when it cannot.
bool addLauncher(const std::string& launcherFile, const std::string& programPath, const std::string& payload,
                 const IniFacts& facts, PackOptions& pack, std::FILE* err);
