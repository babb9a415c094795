// setup-pack check: what runs when the uninstall entry's command
// "<install folder>\ProgFile.exe" -u is started (see UninstallHandler.h).
#include <fstream>
#include <iterator>

#include "SetupCheckParts.h"
#include "UninstallHandler.h"
#include "launcher/LauncherCommand.h"

namespace setup_check {

void Checker::noteUninstallHandler(const fs::path& exe, const std::string& exePath, const std::string& progFile) {
    std::ifstream file(exe, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.eof() && file.fail()) return;  // reported as unreadable with the program
    bool helperInProgram = false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(exe.parent_path(), ec)) {
        if (equalsIgnoringCase(entry.path().filename().string(), "setup-uninstall.exe")) helperInProgram = true;
    }
    std::string command = "the uninstall entry's command <install folder>\\" + plain(progFile) + ".exe -u";
    switch (findUninstallHandler(bytes, helperInProgram, options_.launcher)) {
    case UninstallHandler::Launcher:
        report(Severity::Note, exePath, 0,
               "on \"-u\" the launcher runs the uninstall: with --launcher this program is installed as " +
                   plain(progFile) + kLauncherProgramSuffix + ", and the launcher, as " + plain(progFile) +
                   ".exe, starts it for every other command line");
        break;
    case UninstallHandler::Library:
        report(Severity::Note, exePath, 0,
               "handles \"-u\" itself: it holds the uninstall library, which " + command + " runs");
        break;
    case UninstallHandler::Helper:
        report(Severity::Note, exePath, 0,
               "names setup-uninstall.exe, which Program/ holds: on \"-u\" it must start it with its own "
               "arguments (\"-u\" or \"-u -s\"), which check cannot see");
        break;
    case UninstallHandler::Unknown:
        report(Severity::Note, exePath, 0,
               "nothing known handles \"-u\": the program holds neither the uninstall library nor a start of "
               "setup-uninstall.exe, so " + command + " starts it with \"-u\" as an argument of its own and "
               "removes nothing, unless it handles \"-u\" in a way check cannot see; build with --launcher "
               "(check --launcher then checks that build), or link the program with libsetup-uninstall.a");
        break;
    }
}

}  // namespace setup_check
