// setup-pack build --launcher. See LauncherBuild.h.
#include "LauncherBuild.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "InstallerResources.h"
#include "launcher/LauncherCommand.h"
#include "ShippedFiles.h"

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

// The name in `folder` equal to `wanted` without regard to ASCII case, or "".
std::string findName(const std::string& folder, const std::string& wanted) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return "";
    std::string found;
    while (struct dirent* d = readdir(dir)) {
        if (equalIgnoringAsciiCase(d->d_name, wanted)) found = d->d_name;
    }
    closedir(dir);
    return found;
}

bool isCopied(const ResourceName& type) {
    return type.isId && (type.id == kResourceIcon || type.id == kResourceGroupIcon || type.id == kResourceVersion);
}

}  // namespace

std::vector<std::string> launcherCandidates(const std::string& program) {
    // The cross build's host tools, and a native build beside it.
    return shippedFileCandidates(program, "setup-launcher.exe", {"../uninstall", "../win32/uninstall"});
}

bool launcherFor(const PeImage& program, const PeImage& launcher, ByteVector& image, std::string& error) {
    if (launcher.kind() == PeKind::NotPe || launcher.subsystem() != kSubsystemGui) {
        error = "not a Windows GUI program, so not the launcher";
        return false;
    }
    PeImage out = launcher;
    // The launcher carries none of these itself; should a build give it
    // some, the program's replace them all, so that no stray icon is first.
    for (const ResourceLeaf& leaf : launcher.resources()) {
        if (isCopied(leaf.type)) out.removeResource(leaf.type, leaf.name);
    }
    for (const ResourceLeaf& leaf : program.resources()) {
        if (isCopied(leaf.type)) out.setResource(leaf);
    }
    PeOutput laid;
    if (!out.layout(laid, error)) return false;
    image.clear();
    image.reserve(laid.fileSize);
    for (const auto& piece : laid.pieces) image.insert(image.end(), piece.first, piece.first + piece.second);
    return true;
}

bool prepareLauncher(const std::string& payload, const std::string& progFile, const std::string& launcherPath,
                     PackOptions& pack, std::string& where, std::string& error) {
    const std::string folder = payload + "/Program";
    const std::string wanted = progFile + ".exe";
    std::string name = findName(folder, wanted);
    where = folder + "/" + (name.empty() ? wanted : name);
    if (name.empty()) {
        error = "no such file: the launcher stands in for ProgFile's program, which the payload must hold";
        return false;
    }
    PeImage program;
    if (!program.load(where, error)) return false;
    if (program.kind() == PeKind::NotPe || program.subsystem() != kSubsystemGui) {
        error = "not a Windows GUI program; the launcher is one, and a console program started from it "
                "would open a console window of its own";
        return false;
    }
    std::string stored = name.substr(0, name.size() - 4) + kLauncherProgramSuffix;
    std::string taken = findName(folder, stored);
    if (!taken.empty()) {
        where = folder + "/" + taken;
        error = "the payload already holds a file of this name, where --launcher stores the program";
        return false;
    }
    PeImage launcher;
    where = launcherPath;
    if (!launcher.load(launcherPath, error)) return false;
    auto image = std::make_shared<ByteVector>();
    if (!launcherFor(program, launcher, *image, error)) return false;
    pack.launcher.programName = name;
    pack.launcher.storedName = stored;
    pack.launcher.image = image;
    return true;
}

bool addLauncher(const std::string& launcherFile, const std::string& programPath, const std::string& payload,
                 const IniFacts& facts, PackOptions& pack, std::FILE* err) {
    std::string launcher = launcherFile;
    if (launcher.empty()) {
        std::vector<std::string> candidates = launcherCandidates(programPath);
        for (const std::string& candidate : candidates) {
            if (access(candidate.c_str(), R_OK) == 0) {
                launcher = candidate;
                break;
            }
        }
        if (launcher.empty()) {
            std::fprintf(err, "%s: error: no launcher found here nor beside setup-pack; name one with "
                              "--launcher=FILE\n", candidates.back().c_str());
            return false;
        }
    }
    std::string where, error;
    if (!prepareLauncher(payload, utf8FromWindows1252(facts.progFile.text), launcher, pack, where, error)) {
        std::fprintf(err, "%s: error: %s\n", where.c_str(), error.c_str());
        return false;
    }
    return true;
}
