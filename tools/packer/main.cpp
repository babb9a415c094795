// setup-pack: writes, lists and verifies the installer's payload archives.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "PackTree.h"
#include "SetupCheck.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: setup-pack create [--names=auto|ansi|wide] FOLDER ARCHIVE\n"
    "       setup-pack list ARCHIVE\n"
    "       setup-pack verify ARCHIVE\n"
    "       setup-pack check --ini SETUP_INI --payload FOLDER [--strict]\n"
    "       setup-pack --help\n";

const char kHelp[] =
    "\n"
    "create  Packs FOLDER into the payload archive ARCHIVE. FOLDER may hold only\n"
    "        the folders Program and Documents; symbolic links and special files\n"
    "        are refused. Every folder and file becomes one entry, named relative\n"
    "        to FOLDER with backslashes, in byte order with each folder before its\n"
    "        contents; file contents are zlib streams at the best compression.\n"
    "        The same tree always gives the same archive.\n"
    "        --names=auto  8-bit names when every name is ASCII, else UTF-16LE\n"
    "                      names converted from UTF-8 (the default)\n"
    "        --names=ansi  8-bit names; a name that is not ASCII is refused\n"
    "        --names=wide  UTF-16LE names\n"
    "        Names must be valid UTF-8 and, with their terminator, shorter than\n"
    "        260 bytes (8-bit) or 260 UTF-16 units; the installer prepends its\n"
    "        staging folder, so shorter names are safer. Files must be smaller\n"
    "        than 4 GiB.\n"
    "list    Checks the archive's header and checksum, then prints each entry:\n"
    "        name, attributes, size, packed size, creation, last-access and\n"
    "        last-write times (UTC), tab-separated. 8-bit name bytes outside\n"
    "        ASCII are shown as \\xNN.\n"
    "verify  Checks the archive completely: header, checksum, every entry within\n"
    "        bounds, safe names that fit the installer's paths, every stream\n"
    "        decoding to exactly its size and ending with its packed data, and\n"
    "        nothing after the last entry.\n"
    "check   Finds the mistakes in a setup INI and a payload folder that would\n"
    "        fail or mislead on a customer's machine; see setup-pack check --help.\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 bad usage.\n";

const char kCheckHelp[] =
    "usage: setup-pack check --ini SETUP_INI --payload FOLDER [--strict]\n"
    "\n"
    "Reads the setup INI as the installer will read it and the payload folder\n"
    "(Program/ and Documents/) as it will be installed, and reports, one per line\n"
    "on stderr, in the form FILE:LINE: error|warning|note: MESSAGE, what would\n"
    "go wrong at install time: keys missing from [EN] or a language section,\n"
    "sections no language reads, ProgName/ProgDir/ProgFile that are not plain\n"
    "names, a ProgFile.exe missing from Program/ or not a Windows program,\n"
    "ProgVersion against the program's version record, bytes that are not\n"
    "Windows-1252 with CR LF lines, texts too long once formatted, FileType\n"
    "values (with the command and icon that will be registered), payload names\n"
    "outside Windows-1252 and paths too long for Windows.\n"
    "\n"
    "  --ini SETUP_INI    the setup INI embedded in the installer\n"
    "  --payload FOLDER   the folder packed into the installer\n"
    "  --strict           warnings count as errors\n"
    "\n"
    "Exit status: 0 no error (warnings and notes allowed), 1 errors found,\n"
    "2 bad usage.\n";

int usageError(const char* message) {
    std::fprintf(stderr, "setup-pack: %s\n%s", message, kUsage);
    return kExitUsage;
}

int create(const std::vector<std::string>& args) {
    NameMode mode = NameMode::Auto;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (arg == "--names=auto") mode = NameMode::Auto;
        else if (arg == "--names=ansi") mode = NameMode::Ansi;
        else if (arg == "--names=wide") mode = NameMode::Wide;
        else if (arg.compare(0, 2, "--") == 0) return usageError(("unknown option " + arg).c_str());
        else paths.push_back(arg);
    }
    if (paths.size() != 2) return usageError("create takes a FOLDER and an ARCHIVE");
    std::string error;
    if (!packFolder(paths[0], paths[1], mode, error)) {
        std::fprintf(stderr, "setup-pack: %s\n", error.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int readAnd(const std::vector<std::string>& args, int (*action)(const std::vector<uint8_t>&, std::FILE*, std::FILE*)) {
    if (args.size() != 1) return usageError("expected one ARCHIVE");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readArchiveFile(args[0], bytes, error)) {
        std::fprintf(stderr, "setup-pack: %s\n", error.c_str());
        return kExitFailed;
    }
    return action(bytes, stdout, stderr) == 0 ? kExitOk : kExitFailed;
}

int check(const std::vector<std::string>& args) {
    std::string ini, payload;
    CheckOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kCheckHelp);
            return kExitOk;
        }
        if (arg == "--strict") {
            options.strict = true;
        } else if ((arg == "--ini" || arg == "--payload") && i + 1 < args.size()) {
            (arg == "--ini" ? ini : payload) = args[++i];
        } else if (arg.rfind("--ini=", 0) == 0) {
            ini = arg.substr(6);
        } else if (arg.rfind("--payload=", 0) == 0) {
            payload = arg.substr(10);
        } else {
            return usageError(("check: unexpected argument " + arg).c_str());
        }
    }
    if (ini.empty() || payload.empty()) return usageError("check takes --ini SETUP_INI and --payload FOLDER");
    CheckSummary summary = checkSetupInputs(ini, payload, options, [](const CheckFinding& finding) {
        std::fprintf(stderr, "%s\n", formatFinding(finding).c_str());
    });
    if (summary.errors || summary.warnings) {
        std::fprintf(stderr, "setup-pack check: %u error(s), %u warning(s)\n", summary.errors, summary.warnings);
    }
    return summary.errors ? kExitFailed : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usageError("no command given");
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s%s", kUsage, kHelp);
        return kExitOk;
    }
    if (command == "create") return create(args);
    if (command == "list") return readAnd(args, listArchive);
    if (command == "verify") return readAnd(args, verifyArchive);
    if (command == "check") return check(args);
    return usageError(("unknown command " + command).c_str());
}
