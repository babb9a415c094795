// setup-pack: writes, lists and verifies the installer's payload archives.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "ImageRules.h"
#include "InstallerBuild.h"
#include "PackTree.h"
#include "PeImage.h"
#include "SetupCheck.h"
#include "SetupInit.h"
#include "Translations.h"
#include "VersionRecord.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: setup-pack build --ini SETUP.INI --payload FOLDER [--icon APP.ICO] [--company TEXT]\n"
    "                        [--stub SETUP-STUB.EXE] [--launcher[=LAUNCHER.EXE]] [--jobs N]\n"
    "                        [--code-page SECTION=CP]... [--translations none|all|LIST]\n"
    "                        [--no-warn NAME]... --output SETUP.EXE\n"
    "       setup-pack create [--names=auto|ansi|wide] [--setup-ini=FILE] FOLDER ARCHIVE\n"
    "       setup-pack list ARCHIVE|SETUP.EXE\n"
    "       setup-pack verify ARCHIVE|SETUP.EXE|PROGRAM.EXE\n"
    "       setup-pack check --ini SETUP.INI --payload FOLDER [--strict] [--launcher]\n"
    "                        [--code-page SECTION=CP]... [--translations none|all|LIST]\n"
    "                        [--no-warn NAME]...\n"
    "       setup-pack init --program FOLDER/Program/APP.EXE [--output SETUP.INI]\n"
    "       setup-pack info PROGRAM.EXE\n"
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
    "        --launcher  for a program that cannot handle \"-u\" (the uninstall\n"
    "                 entry's command): Program/ProgFile.exe is installed as\n"
    "                 ProgFile.program.exe, and a small launcher with its icons\n"
    "                 and version record takes its place. The launcher runs\n"
    "                 the uninstall on \"-u\" and \"-u -s\", and otherwise starts\n"
    "                 the program with the same command line, waits for it and\n"
    "                 ends with its exit code. --launcher=FILE names the\n"
    "                 launcher (default: setup-launcher.exe, found as the stub)\n"
    "        --no-warn  leaves out the warnings of one kind (see check --help)\n"
    "        --jobs   compressing threads (default: one per core; any number\n"
    "                 gives the same bytes)\n"
    "        SETUP.INI is UTF-8 text (a byte-order mark and LF lines allowed).\n"
    "        The installer gets it with CR LF lines, each language section in\n"
    "        the ANSI code page of its users' Windows ([RU] in 1251, [JP] in\n"
    "        932, ...) with a CodePage= key, and [Settings], [EN] and [FileType]\n"
    "        in Windows-1252. A file that is not valid UTF-8 is taken as the\n"
    "        installer's form already and embedded as written.\n"
    "        --code-page SECTION=CP  the code page of a section whose users run\n"
    "                 two: CH=936 (simplified) or CH=950 (traditional), SR=1250\n"
    "                 (Latin) or SR=1251 (Cyrillic); or CodePage=CP in the section\n"
    "        --translations  the shipped translations of the standard texts that\n"
    "                 fill the keys a language lacks, and add the languages the\n"
    "                 INI lacks: all (the default), none, or a list such as\n"
    "                 DE,FR,JP. The INI's own texts always win; ProgDesc,\n"
    "                 DirDesc and ExtDesc are never filled in.\n";

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
    "        it follows them, and its version record is printed as info does.\n"
    "init    Writes a first setup INI (UTF-8) for the program APP.EXE: [Settings]\n"
    "        from the program (ProgFile from its name, ProgVersion from its version\n"
    "        record, ProgName from its ProductName), [EN] with the standard texts\n"
    "        and <placeholders> for ProgDesc, DirDesc and ExtDesc, which check\n"
    "        names until they are written, and a [FileType] example in comments.\n"
    "        SETUP.INI (default setup.ini) must not exist yet.\n"
    "info    Prints a program's version record: its file and product versions,\n"
    "        the texts of its string tables (ProductName, FileVersion, ...), and\n"
    "        the ProgVersion the installer will record for it; or says that it\n"
    "        has none, and what the installer then does.\n"
    "check   Finds the mistakes in a setup INI and a payload folder that would\n"
    "        fail or mislead on a customer's machine; see setup-pack check --help.\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 bad usage.\n";

const char kCheckHelp[] =
    "usage: setup-pack check --ini SETUP.INI --payload FOLDER [--strict] [--launcher]\n"
    "                        [--code-page SECTION=CP]... [--translations none|all|LIST]\n"
    "                        [--no-warn NAME]...\n"
    "\n"
    "Reads the setup INI as the installer will read it and the payload folder\n"
    "(Program/ and Documents/) as it will be installed, and reports, one per line\n"
    "on stderr, in the form FILE:LINE: error|warning|note: MESSAGE, what would\n"
    "go wrong at install time: keys missing from [EN] or a language section,\n"
    "sections no language reads, ProgName/ProgDir/ProgFile that are not plain\n"
    "names, a ProgFile.exe missing from Program/ or not a Windows program,\n"
    "ProgVersion against the program's version record, characters a section's\n"
    "code page cannot hold, [CH] and [SR] without a chosen code page, texts of\n"
    "[Settings] and [EN] beyond ASCII, placeholders setup-pack init left, in a\n"
    "file that is not UTF-8 bytes that are not Windows-1252 with CR LF lines,\n"
    "texts too long once formatted, FileType\n"
    "values (with the command and icon that will be registered), payload names\n"
    "outside Windows-1252, names in Program/ that start with '[' (they would\n"
    "end the uninstaller's list of files) and paths too long for Windows. A\n"
    "note says what runs on \"-u\", the uninstall entry's command: the program\n"
    "itself (it holds the uninstall library, or starts setup-uninstall.exe),\n"
    "the launcher (build --launcher), or nothing that is known to handle it.\n"
    "Notes show every value as the installer writes it, a line break (from\n"
    "\\n) as <line break>. Each warning ends with its name, as [-Wname].\n"
    "\n"
    "  --ini SETUP.INI    the setup INI embedded in the installer\n"
    "  --payload FOLDER   the folder packed into the installer\n"
    "  --strict           warnings count as errors\n"
    "  --code-page SECTION=CP, --translations none|all|LIST\n"
    "                     as for setup-pack build, which checks the INI the same way\n"
    "  --launcher         the installer is built with --launcher\n"
    "  --no-warn NAME     leaves out the warnings of one kind, also under --strict\n"
    "                     (repeatable); the names: %s\n"
    "\n"
    "Exit status: 0 no error (warnings and notes allowed), 1 errors found,\n"
    "2 bad usage.\n";

bool optionValue(const std::vector<std::string>& args, size_t& i, const char* name, std::string& value, bool& missing);

int usageError(const char* message) {
    std::fprintf(stderr, "setup-pack: %s\n%s", message, kUsage);
    return kExitUsage;
}

std::string ownPath() {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

// The options of build and check that shape the installer's form of a
// UTF-8 setup INI.
struct SourceArguments {
    std::vector<std::string> codePages;
    std::string translations = "all";
};

// False, with a message, on a bad value.
bool sourceOptions(const SourceArguments& args, SourceIniOptions& options, std::string& error) {
    for (const std::string& choice : args.codePages) {
        size_t equals = choice.find('=');
        std::string section = choice.substr(0, equals);
        std::string number = equals == std::string::npos ? "" : choice.substr(equals + 1);
        const LanguageCodePages* language = languageCodePages(section);
        if (!language || number.empty() || number.size() > 5 ||
            number.find_first_not_of("0123456789") != std::string::npos) {
            error = "--code-page takes SECTION=CODEPAGE, such as CH=936";
            return false;
        }
        unsigned codePage = static_cast<unsigned>(std::stoul(number));
        if (codePage == 0 || (codePage != language->codePages[0] && codePage != language->codePages[1])) {
            error = "--code-page " + choice + ": the users of [" + section + "] run " +
                    codePageShown(language->codePages[0]) +
                    (language->codePages[1] ? " or " + codePageShown(language->codePages[1]) : std::string());
            return false;
        }
        options.codePages.emplace_back(language->section, codePage);
    }
    if (args.translations == "none") return true;
    std::vector<std::string> candidates = translationFolderCandidates(ownPath());
    for (const std::string& folder : candidates) {
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec)) {
            return loadTranslations(folder, args.translations, options.translations, error);
        }
    }
    if (args.translations == "all") {
        std::fprintf(stderr, "setup-pack: warning: no shipped translations found (looked beside setup-pack "
                             "and in %s); the INI's languages stay as written\n", candidates.back().c_str());
        return true;
    }
    error = "--translations " + args.translations + ": no shipped translations found (looked beside setup-pack "
            "and in " + candidates.back() + ")";
    return false;
}

// Takes --code-page and --translations ("--name VALUE" or "--name=VALUE");
// true when args[i] was one.
bool sourceArgument(const std::vector<std::string>& args, size_t& i, SourceArguments& out, bool& missing) {
    const std::string& arg = args[i];
    for (const char* name : {"--code-page", "--translations"}) {
        size_t length = std::strlen(name);
        if (arg.compare(0, length, name) != 0 || (arg.size() > length && arg[length] != '=')) continue;
        std::string value;
        if (arg.size() == length) {
            if (i + 1 >= args.size()) {
                missing = true;
                return true;
            }
            value = args[++i];
        } else {
            value = arg.substr(length + 1);
        }
        if (name[2] == 'c') out.codePages.push_back(value);
        else out.translations = value;
        return true;
    }
    return false;
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
    // The uninstall manifest takes its texts from the installer's form of
    // the INI (a UTF-8 INI's languages in their code pages).
    std::string embedded;
    if (!options.setupIni.empty()) {
        std::ifstream in(options.setupIni, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (in) {
            embedded = makeEmbeddedIni(text.str(), SourceIniOptions()).bytes;
            options.setupIniText = &embedded;
        }
    }
    if (!readSourceDateEpoch(options, error) || !packFolder(paths[0], paths[1], options, error)) {
        std::fprintf(stderr, "setup-pack: %s\n", error.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

// The version record of a program, or false (with the reason on stderr) when
// the file is no Windows program.
bool printVersionRecord(const std::string& path) {
    PeImage image;
    std::string error;
    if (!image.load(path, error)) {
        std::fprintf(stderr, "setup-pack: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::fputs(describeVersionRecord(readVersionRecord(image)).c_str(), stdout);
    return true;
}

int info(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("info takes one PROGRAM.EXE");
    return printVersionRecord(args[0]) ? kExitOk : kExitFailed;
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

std::string warningNameList() {
    std::string list;
    for (const std::string& name : warningNames()) list += (list.empty() ? "" : ", ") + name;
    return list;
}

bool isWarningName(const std::string& name) {
    const std::vector<std::string>& known = warningNames();
    return std::find(known.begin(), known.end(), name) != known.end();
}

std::string noWarnUsage() { return "--no-warn takes a warning's name, one of: " + warningNameList(); }

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
        // A program, not an installer: what it offers the installer.
        std::fputs(imageLine.c_str(), stdout);
        std::fputs(describeVersionRecord(readVersionRecord(image)).c_str(), stdout);
        return kExitOk;
    }
    int result = readAnd(args, verifyArchive);
    if (result == kExitOk) std::fputs(imageLine.c_str(), stdout);
    return result;
}

int check(const std::vector<std::string>& args) {
    std::string ini, payload;
    CheckOptions options;
    SourceArguments source;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool missing = false;
        std::string name;
        if (sourceArgument(args, i, source, missing)) {
            if (missing) return usageError((arg + " needs a value").c_str());
        } else if (optionValue(args, i, "--no-warn", name, missing)) {
            if (missing || !isWarningName(name)) return usageError(noWarnUsage().c_str());
            options.noWarn.push_back(name);
        } else if (arg == "--launcher") {
            options.launcher = true;
        } else if (arg == "--strict") {
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
    std::string error;
    if (!sourceOptions(source, options.source, error)) return usageError(error.c_str());
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
    SourceArguments source;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--launcher" || args[i].compare(0, 11, "--launcher=") == 0) {
            options.launcher = true;
            options.launcherFile = args[i].size() > 11 ? args[i].substr(11) : "";
            if (args[i].size() == 11) return usageError("--launcher= needs a file");
            continue;
        }
        bool known = false, missing = false;
        std::string silenced;
        if (optionValue(args, i, "--no-warn", silenced, missing)) {
            if (missing || !isWarningName(silenced)) return usageError(noWarnUsage().c_str());
            options.noWarn.push_back(silenced);
            continue;
        }
        known = sourceArgument(args, i, source, missing);
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
    std::string error;
    if (!sourceOptions(source, options.source, error)) return usageError(error.c_str());
    return buildInstaller(options, stdout, stderr) == 0 ? kExitOk : kExitFailed;
}

int init(const std::vector<std::string>& args) {
    std::string program, output = "setup.ini";
    for (size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (!optionValue(args, i, "--program", program, missing) && !optionValue(args, i, "--output", output, missing)) {
            return usageError(("init: unexpected argument " + args[i]).c_str());
        }
        if (missing) return usageError((args[i] + " needs a value").c_str());
    }
    if (program.empty()) return usageError("init takes --program FOLDER/Program/APP.EXE");
    SourceArguments source;
    source.translations = "EN";
    SourceIniOptions options;
    std::string error, ini;
    if (!sourceOptions(source, options, error) || options.translations.empty()) {
        std::fprintf(stderr, "setup-pack: %s\n", error.empty() ? "no shipped English texts found" : error.c_str());
        return kExitFailed;
    }
    if (!makeStarterIni(program, options.translations.front(), ini, error)) {
        std::fprintf(stderr, "%s: error: %s\n", program.c_str(), error.c_str());
        return kExitFailed;
    }
    std::FILE* file = std::fopen(output.c_str(), "wx");
    if (!file) {
        std::fprintf(stderr, "%s: error: cannot create it (%s); init does not overwrite a setup INI\n",
                     output.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    bool written = std::fwrite(ini.data(), 1, ini.size(), file) == ini.size();
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "%s: error: cannot write it\n", output.c_str());
        return kExitFailed;
    }
    std::printf("%s: written; replace the <placeholders> of [EN], then run setup-pack check\n", output.c_str());
    return kExitOk;
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
        if (command == "check") std::printf(kCheckHelp, warningNameList().c_str());
        else std::printf("%s%s", kUsage, command == "build" ? kBuildHelp : kHelp);
        return kExitOk;
    }
    if (command == "build") return build(args);
    if (command == "create") return create(args);
    if (command == "list") return readAnd(args, listArchive);
    if (command == "verify") return verify(args);
    if (command == "check") return check(args);
    if (command == "init") return init(args);
    if (command == "info") return info(args);
    return usageError(("unknown command " + command).c_str());
}
