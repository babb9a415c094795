#pragma once
// setup-pack check: finds, before an installer ships, the mistakes in a setup
// INI and a payload folder that would fail or mislead on a customer's
// machine. `setup-pack build` runs the same checks and refuses on errors.
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "SourceIni.h"

struct CheckFinding {
    enum class Severity { Note, Warning, Error };
    Severity severity;
    std::string file;   // the INI or a payload path, as given by the caller
    unsigned line;      // 0: the finding concerns the whole file or a key that has no line
    std::string message;
    std::string name;   // a warning's kind (also when --strict makes it an error); empty otherwise
};

struct CheckOptions {
    // How a UTF-8 setup INI becomes the installer's form: the code pages
    // chosen for shared sections and the shipped texts filled in.
    SourceIniOptions source;
    bool strict = false;    // warnings count (and are shown) as errors
    bool launcher = false;  // the installer is built with --launcher
    std::vector<std::string> noWarn;  // warning kinds left out, strict or not
};

// The kinds of warning, each with a short name: printed with the warning as
// [-Wname] and silenced with --no-warn name.
const std::vector<std::string>& warningNames();

struct CheckSummary {
    unsigned errors = 0;
    unsigned warnings = 0;
};

using CheckSink = std::function<void(const CheckFinding&)>;

// Checks the setup INI at `iniPath` and the payload folder `payloadDir`
// (holding Program/ and optionally Documents/); the payload's unpacked size
// is held against the image limit of setup-pack build (kImageLimit) as an
// estimate. Each finding goes to `sink`
// in the order of the INI's lines, then the payload's. The summary counts
// errors and warnings after `options` (strict turns warnings into errors).
CheckSummary checkSetupInputs(const std::string& iniPath, const std::string& payloadDir,
                              const CheckOptions& options, const CheckSink& sink);

// "FILE:LINE: error: MESSAGE" (without ":LINE" when the line is 0), with
// " [-Wname]" after a warning's message, " [-Werror=name]" after a warning
// that --strict made an error.
std::string formatFinding(const CheckFinding& finding);

// What a program executable offers the installer: read from
// Program/<ProgFile>.exe.
struct ProgramInfo {
    bool isPe = false;
    bool is64Bit = false;
    uint16_t subsystem = 0;     // 2 GUI, 3 console
    bool hasVersion = false;    // a fixed version record
    uint32_t fileVersionMs = 0;     // major << 16 | minor of the file version
    uint32_t productVersionMs = 0;  // the same of the product version
};

// False, with a reason, when the file cannot be read or is a damaged PE image;
// a file that is no PE image at all gives true with isPe false.
bool readProgramInfo(const std::string& path, ProgramInfo& info, std::string& error);
