#pragma once
// What the native tests that work on real folders share: a scratch folder
// that goes with its owner, whole files read and written, and setup-pack
// started without a shell (every argument reaches it as it stands, blanks
// and all), with what it writes to stdout and stderr caught in files.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

// What a run of setup-pack gave: its exit code (-1 when it could not be
// started or did not exit), and what it wrote to stdout and stderr.
struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

// A language section of a setup INI with every text the build checks for,
// each "<code> <key>".
inline std::string languageSection(const char* code) {
    static const char* const kTexts[] = {
        "ProgDesc", "DirDesc", "ExtDesc", "InstallDesc", "NewerInstalled", "InstallBaseDir",
        "InstallProgDir", "InstallChange", "InstallBrowse", "InstallCompleted", "InstallFailed",
        "FileCopyFailed", "NotDir", "DirCreateFailed", "InstallOk", "InstallCancel", "InstallYes", "InstallNo"};
    std::string section = std::string("[") + code + "]\r\n";
    for (const char* key : kTexts) section += std::string(key) + "=" + code + " " + key + "\r\n";
    return section;
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes `text` as the whole file, making its folder first.
inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A folder of its own below $TMPDIR (else /tmp), removed with everything in
// it, read-only entries included, when the object goes. ctest points TMPDIR
// into the build tree and fails the run when anything is left there.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix) {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
        if (mkdtemp(&pattern[0])) path_ = pattern;
    }
    ~ScratchFolder() {
        if (path_.empty()) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        // Give back the permissions a test took away, so that all can go.
        for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (!it->is_symlink(ec)) chmod(it->path().c_str(), it->is_directory(ec) ? 0700 : 0600);
        }
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs setup-pack with `args`; its stdout and stderr go through the files
// stdout.txt and stderr.txt in `folder`.
inline ToolRun runSetupPack(const std::vector<std::string>& args, const std::filesystem::path& folder) {
    std::vector<std::string> all{SETUP_PACK_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::filesystem::path outPath = folder / "stdout.txt", errPath = folder / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ToolRun result{-1, "", ""};
    if (spawned != 0) return result;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

// Sets or clears SOURCE_DATE_EPOCH for what this process reads and starts;
// cleared again when the object goes.
class EpochSetting {
public:
    explicit EpochSetting(const char* value) {
        if (value) setenv("SOURCE_DATE_EPOCH", value, 1);
        else unsetenv("SOURCE_DATE_EPOCH");
    }
    ~EpochSetting() { unsetenv("SOURCE_DATE_EPOCH"); }
    EpochSetting(const EpochSetting&) = delete;
    EpochSetting& operator=(const EpochSetting&) = delete;
};
