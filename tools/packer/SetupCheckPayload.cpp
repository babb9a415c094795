#include "SetupCheckParts.h"

#include <algorithm>
#include <system_error>

#include "ArchiveWriter.h"
#include "InstallerBuild.h"

namespace setup_check {

namespace {

// Whether the name is UTF-8 as setup-pack build decodes names: strictly,
// without overlong forms, surrogate halves or code points past U+10FFFF.
bool isValidUtf8(const std::string& text) {
    ByteVector encoded;
    return encodeEntryName(text, true, encoded, nullptr);
}

}  // namespace

void Checker::checkPayload(const Loaded& english) {
    std::error_code ec;
    fs::path root(payloadDir_);
    if (!fs::is_directory(root, ec)) {
        report(Severity::Error, payloadDir_, 0, "is not a folder");
        return;
    }
    std::vector<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        paths.push_back(it->path());
    }
    if (ec) {
        report(Severity::Error, payloadDir_, 0, "cannot be read: " + ec.message());
        return;
    }
    std::sort(paths.begin(), paths.end());
    bool hasProgram = false, programHasFiles = false;
    uint64_t total = 0;
    std::string progName = english.slots[kProgName], progDir = english.slots[kProgDir];
    std::string staging = std::string(kStagingBase) + progName + "\\";
    std::string install = std::string(kInstallBase) + "\\" + progDir + "\\";
    std::string documents = std::string(kDocumentsBase) + progDir + "\\";
    for (const fs::path& p : paths) {
        std::string relative = p.lexically_relative(root).generic_string();
        std::string shownPath = programPath(relative);
        std::string top = relative.substr(0, relative.find('/'));
        fs::file_status status = fs::symlink_status(p, ec);
        if (top != "Program" && top != "Documents") {
            if (relative == top) {
                report(Severity::Error, shownPath, 0, "the payload folder may hold only the folders Program and "
                                                      "Documents; setup-pack refuses to pack anything else");
            }
            continue;
        }
        if (relative == "Program") hasProgram = fs::is_directory(status);
        else if (top == "Program" && fs::is_regular_file(status)) programHasFiles = true;
        if (fs::is_symlink(status) || !(fs::is_directory(status) || fs::is_regular_file(status))) {
            report(Severity::Error, shownPath, 0, "is a symbolic link or a special file; setup-pack refuses it");
            continue;
        }
        if (fs::is_regular_file(status)) {
            uint64_t size = fs::file_size(p, ec);
            total += size;
            if (size >= kFileSizeLimit) {
                report(Severity::Error, shownPath, 0, "is 4 GiB or larger; the payload cannot carry it");
            }
        }
        if (!isValidUtf8(relative)) {
            report(Severity::Error, shownPath, 0, "its name is not UTF-8; setup-pack cannot tell which "
                                                  "characters it holds and refuses it");
            continue;
        }
        std::string name = p.filename().string();
        bool inProgram = top == "Program" && relative.size() > top.size() + 1 &&
                         relative.find('/', top.size() + 1) == std::string::npos;
        if (inProgram && name[0] == '[') {
            report(Severity::Error, shownPath, 0, "the name starts with '['; in the uninstall list that setup-pack "
                                                  "writes it would end the list of files, so it and every name "
                                                  "after it would be left behind at uninstall; rename it");
        }
        std::string windows = relative;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        size_t ansiLength = ansiPathLength(windows);
        std::string nameAnsi;
        if (!convert("CP1252", "UTF-8", name, nameAnsi)) {
            std::string holders = codePagesHolding(name);
            report(Severity::Warning, shownPath, 0,
                   "the name cannot be written in Windows-1252; on Windows whose ANSI code page cannot hold "
                   "it, the install stops with \"Unable to create file.\"" +
                       (holders.empty() ? std::string("; no single ANSI code page holds it")
                                        : "; code pages that hold it: " + holders));
        }
        // Staged as <staging>\Program\...; installed as <install>\... or
        // <documents>\..., without the top folder.
        bool isProgram = top == "Program";
        size_t below = relative == top ? 0 : ansiLength - top.size() - 1;
        std::string placeShown = isProgram ? install : std::string(kDocumentsShown) + progDir + "\\";
        size_t stagedLength = staging.size() + ansiLength;
        size_t installedLength = (isProgram ? install : documents).size() + below;
        if (stagedLength + 1 > kPathLimit) {
            report(Severity::Error, shownPath, 0,
                   "its path under the staging folder " + std::string(kStagingShown) + progName + "\\ is " +
                       std::to_string(stagedLength) + " bytes; Windows paths hold 259, so the install fails "
                       "with \"Unable to create file.\"; shorten the names or ProgName");
        } else if (below > 0 && installedLength + 1 > kPathLimit) {
            report(Severity::Error, shownPath, 0,
                   "its path under " + std::string(isProgram ? "the install folder " : "the documents folder ") +
                       placeShown + " is " + std::to_string(installedLength) + " bytes; Windows paths hold 259, "
                       "so copying it fails and the install is rolled back; shorten the names or ProgDir");
        }
    }
    if (!hasProgram) {
        report(Severity::Error, payloadDir_, 0, "has no Program/ folder; the installer would install nothing "
                                                "into the install folder and register and link a program "
                                                "that does not exist");
    } else if (!programHasFiles) {
        report(Severity::Error, programPath("Program"), 0, "is empty; the installer would install nothing "
                                                         "and register and link a program that does not exist");
    }
    if (total > kImageLimit) {
        report(Severity::Warning, payloadDir_, 0,
               "holds " + std::to_string(total >> 20) + " MiB of files; an installer image over " +
                   std::to_string(kImageLimit >> 20) + " MiB cannot show its dialogs or does not start, so "
                   "setup-pack build refuses it unless the files pack smaller");
    }
}

}  // namespace setup_check
