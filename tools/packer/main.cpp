// setup-pack: writes, lists and verifies the installer's payload archives.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "ImageRules.h"
#include "InstallerBuild.h"
#include "PackTree.h"
#include "PeImage.h"
#include "SetupCheck.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: setup-pack build --ini SETUP.INI --payload FOLDER [--icon APP.ICO] [--company TEXT]\n"
    "                        [--stub SETUP-STUB.EXE] [--jobs N] --output SETUP.EXE\n"
    "       setup-pack create [--names=auto|ansi|wide] [--setup-ini=FILE] FOLDER ARCHIVE\n"
    "       setup-pack list ARCHIVE|SETUP.EXE\n"
    "       setup-pack verify ARCHIVE|PROGRAM.EXE\n"
    "       setup-pack check --ini SETUP.INI --payload FOLDER [--strict]\n"
    "       setup-pack [COMMAND] --help\n";

const char kBuildHelp[] =
    "\n"
    "build   Writes SETUP.EXE: a copy of the installer stub with FOLDER packed as\n"
    "        its payload (as create does), SETUP.INI as its setup INI, a version\n"
    "        block naming the program (ProductName from ProgName, FileVersion and\n"
    "        ProductVersion from ProgVersion, CompanyName from --company) and, with\n"
    "        --icon, the icon of APP.ICO. No compiler or Windows tool is needed.\n"
    "        Checks the setup INI and the payload first and writes nothing when\n"
    "        one has an error. Refuses a payload that would make setup.exe larger\n"
    "        than a 32-bit installer can map (1,800 MiB of image).\n"
    "        The same inputs give the same bytes: with SOURCE_DATE_EPOCH set,\n"
    "        stored times later than it are stored as it. SETUP.EXE is left\n"
    "        untouched when it already holds exactly the new bytes.\n"
    "        --stub   the installer stub (default: setup-stub.exe beside setup-pack\n"
    "                 or in its build tree, then /usr/share/setup-pack/)\n"
    "        --jobs   compressing threads (default: one per core; any number\n"
    "                 gives the same bytes)\n";

const char kHelp[] =
    "\n"
    "create  Packs FOLDER into the payload archive ARCHIVE. FOLDER may hold only\n"
    "        the folders Program and Documents; symbolic links and special files\n"
    "        are refused. Every folder and file becomes one entry, named relative\n"
    "        to FOLDER with backslashes, in byte order with each folder before its\n"
    "        contents; file contents are zlib streams at the best compression.\n"
    "        The same tree always gives the same archive: its creation, access\n"
    "        and write times are all stored as its last-write time, and with\n"
    "        SOURCE_DATE_EPOCH set, times later than it are stored as it.\n"
    "        --names=auto  8-bit names when every name is ASCII, else UTF-16LE\n"
    "                      names converted from UTF-8 (the default)\n"
    "        --names=ansi  8-bit names; a name that is not ASCII is refused\n"
    "        --names=wide  UTF-16LE names\n"
    "        --setup-ini=FILE  the setup INI: the Program folder then also gets\n"
    "                      setup-uninstall.ini, what the uninstaller needs (the\n"
    "                      program's names, its Uninstall texts, every file and\n"
    "                      folder of Program)\n"
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
    "        list and verify also take a built setup.exe (signed or not): they\n"
    "        read its payload and first print its ProgName, ProgVersion, ProgDir\n"
    "        and languages.\n"
    "        verify takes any Windows program (.exe) and first checks it against\n"
    "        the rules the Windows loader applies before it maps an image (Wine\n"
    "        forgives most of them): signatures, alignments, sections in order\n"
    "        and adjacent, SizeOfImage, data directories, the checksum, the\n"
    "        resource tree's order, base relocations, and a manifest with a\n"
    "        requestedExecutionLevel. A program without a payload passes when\n"
    "        it follows them.\n"
    "check   Finds the mistakes in a setup INI and a payload folder that would\n"
    "        fail or mislead on a customer's machine; see setup-pack check --help.\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 bad usage.\n";

const char kCheckHelp[] =
    "usage: setup-pack check --ini SETUP.INI --payload FOLDER [--strict]\n"
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
    "outside Windows-1252, names in Program/ that start with '[' (they would\n"
    "end the uninstaller's list of files) and paths too long for Windows.\n"
    "\n"
    "  --ini SETUP.INI    the setup INI embedded in the installer\n"
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
    PackOptions options;
    NameMode& mode = options.names;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (arg == "--names=auto") mode = NameMode::Auto;
        else if (arg == "--names=ansi") mode = NameMode::Ansi;
        else if (arg == "--names=wide") mode = NameMode::Wide;
        else if (arg.compare(0, 12, "--setup-ini=") == 0 && arg.size() > 12) options.setupIni = arg.substr(12);
        else if (arg.compare(0, 2, "--") == 0) return usageError(("unknown option " + arg).c_str());
        else paths.push_back(arg);
    }
    if (paths.size() != 2) return usageError("create takes a FOLDER and an ARCHIVE");
    std::string error;
    if (!readSourceDateEpoch(options, error) || !packFolder(paths[0], paths[1], options, error)) {
        std::fprintf(stderr, "setup-pack: %s\n", error.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int readAnd(const std::vector<std::string>& args, int (*action)(const std::vector<uint8_t>&, std::FILE*, std::FILE*)) {
    if (args.size() != 1) return usageError("expected one ARCHIVE or SETUP.EXE");
    std::vector<uint8_t> bytes;
    std::string about, error;
    if (!readPayloadSource(args[0], bytes, about, error)) {
        std::fprintf(stderr, "setup-pack: %s\n", error.c_str());
        return kExitFailed;
    }
    std::fputs(about.c_str(), stdout);
    return action(bytes, stdout, stderr) == 0 ? kExitOk : kExitFailed;
}

// verify: a Windows program is first held against the loader's rules, then
// its payload (when it carries one) is verified as an archive is.
int verify(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("expected one ARCHIVE or PROGRAM.EXE");
    const std::string& path = args[0];
    std::FILE* file = std::fopen(path.c_str(), "rb");
    char magic[2] = {0, 0};
    bool executable = file && std::fread(magic, 1, 2, file) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    if (file) std::fclose(file);
    if (!executable) return readAnd(args, verifyArchive);
    ImageReport report;
    std::string error;
    if (!checkImageRulesFile(path, report, error)) {
        std::fprintf(stderr, "setup-pack: %s: %s\n", path.c_str(), error.c_str());
        return kExitFailed;
    }
    for (const std::string& fault : report.faults) {
        std::fprintf(stderr, "%s: error: %s\n", path.c_str(), fault.c_str());
    }
    if (!report.faults.empty()) return kExitFailed;
    std::string imageLine = path + ": follows the loader's rules" +
                            (report.executionLevel.empty() ? std::string() : "; requestedExecutionLevel " +
                                                                                 report.executionLevel) + "\n";
    PeImage image;
    if (!image.load(path, error)) {
        std::fprintf(stderr, "setup-pack: %s\n", error.c_str());
        return kExitFailed;
    }
    if (!image.find(ResourceName::number(kResourceRcData), ResourceName::number(kPayloadResource))) {
        std::fputs(imageLine.c_str(), stdout);
        return kExitOk;
    }
    int result = readAnd(args, verifyArchive);
    if (result == kExitOk) std::fputs(imageLine.c_str(), stdout);
    return result;
}

int check(const std::vector<std::string>& args) {
    std::string ini, payload;
    CheckOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
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
    if (ini.empty() || payload.empty()) return usageError("check takes --ini SETUP.INI and --payload FOLDER");
    CheckSummary summary = checkSetupInputs(ini, payload, options, [](const CheckFinding& finding) {
        std::fprintf(stderr, "%s\n", formatFinding(finding).c_str());
    });
    if (summary.errors || summary.warnings) {
        std::fprintf(stderr, "setup-pack check: %u error(s), %u warning(s)\n", summary.errors, summary.warnings);
    }
    return summary.errors ? kExitFailed : kExitOk;
}

// Takes "--name VALUE" or "--name=VALUE"; true when args[i] is that option.
bool optionValue(const std::vector<std::string>& args, size_t& i, const char* name, std::string& value, bool& missing) {
    const std::string& arg = args[i];
    size_t length = std::strlen(name);
    if (arg.compare(0, length, name) != 0) return false;
    if (arg.size() == length) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (arg[length] != '=') return false;
    value = arg.substr(length + 1);
    return true;
}

int build(const std::vector<std::string>& args) {
    BuildOptions options;
    std::string jobs;
    struct Named {
        const char* name;
        std::string* value;
    };
    const Named named[] = {{"--ini", &options.ini},         {"--payload", &options.payload},
                           {"--icon", &options.icon},       {"--company", &options.company},
                           {"--stub", &options.stub},       {"--output", &options.output},
                           {"--jobs", &jobs}};
    for (size_t i = 0; i < args.size(); ++i) {
        bool known = false, missing = false;
        for (const Named& n : named) {
            if (!known) known = optionValue(args, i, n.name, *n.value, missing);
        }
        if (missing) return usageError((args[i] + " needs a value").c_str());
        if (!known) return usageError(("unknown argument " + args[i]).c_str());
    }
    if (options.ini.empty() || options.payload.empty() || options.output.empty()) {
        return usageError("build needs --ini, --payload and --output");
    }
    if (!jobs.empty()) {
        char* end = nullptr;
        unsigned long value = std::strtoul(jobs.c_str(), &end, 10);
        if (*end != '\0' || value == 0 || value > 1024) return usageError("--jobs takes a number from 1 to 1024");
        options.jobs = static_cast<unsigned>(value);
    }
    return buildInstaller(options, stdout, stderr) == 0 ? kExitOk : kExitFailed;
}

bool wantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usageError("no command given");
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s%s%s", kUsage, kBuildHelp, kHelp);
        return kExitOk;
    }
    if (wantsHelp(args)) {
        if (command == "check") std::printf("%s", kCheckHelp);
        else std::printf("%s%s", kUsage, command == "build" ? kBuildHelp : kHelp);
        return kExitOk;
    }
    if (command == "build") return build(args);
    if (command == "create") return create(args);
    if (command == "list") return readAnd(args, listArchive);
    if (command == "verify") return verify(args);
    if (command == "check") return check(args);
    return usageError(("unknown command " + command).c_str());
}
