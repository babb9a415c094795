#pragma once
// setup-pack build: a finished setup.exe from the prebuilt stub, the setup
// INI and the payload folder; and reading a built installer back.
#include <stdint.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ImageLimits.h"
#include "IniFacts.h"
#include "SourceIni.h"

// The stub's resource numbers that the build fills.
constexpr uint16_t kPayloadResource = 129;
constexpr uint16_t kSetupIniResource = 130;
constexpr uint16_t kIconGroupResource = 131;
constexpr uint16_t kVersionResource = 1;

struct BuildOptions {
    std::string ini, payload, icon, company, stub, output;
    bool launcher = false;     // the launcher in the program's place (LauncherBuild.h)
    std::string launcherFile;  // which launcher; empty: the installed one
    std::vector<std::string> noWarn;  // warning kinds the checks leave out
    unsigned jobs = 0;  // compressing threads; 0 = one per core
    SourceIniOptions source;  // how a UTF-8 setup INI becomes the installer's form
};

// What the checks before packing look at.
struct BuildInputs {
    std::string iniPath;
    std::vector<uint8_t> ini;
    IniFacts facts;
    std::string payloadPath;
    SourceIniOptions source;
    std::vector<std::string> noWarn;  // warning kinds left out (--no-warn)
};

// Every check made before anything is packed: the one place where the
// checks of the setup INI and the payload are plugged in. Prints one
// compiler-style line per finding to `err`; false when any is an error.
bool runPreBuildChecks(const BuildInputs& inputs, std::FILE* err);

// Where the stub is looked for when --stub is not given, in order: beside
// the setup-pack program, in the build tree around it, then the installed
// copy under share/setup-pack.
std::vector<std::string> stubCandidates(const std::string& programPath);

// Runs the whole build; diagnostics go to `err`, one summary line to `out`.
// 0 = setup.exe written or already up to date, 1 = refused or failed.
int buildInstaller(const BuildOptions& options, std::FILE* out, std::FILE* err);

// Reads a payload archive, or the archive inside a built installer (its
// resource 129, signed or not). For an installer, `about` gets lines naming
// its program (ProgName, ProgVersion, ProgDir and languages from resource
// 130). False, with a reason, when neither can be read.
bool readPayloadSource(const std::string& path, std::vector<uint8_t>& archive, std::string& about,
                       std::string& error);
