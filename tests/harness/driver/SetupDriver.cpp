// setup-driver.exe: runs a program (normally setup.exe), answers its
// dialogs and message boxes and says in plain text what it saw and did.
//
//   setup-driver.exe [--timeout SECONDS] [--press TEXT]... [--close-window TITLE]
//                    [--report] -- PROGRAM [ARGUMENTS...]
//
// The --press answers are used in order, one per window (TEXT is a button's
// text without '&'); after them each window gets its default button
// (BS_DEFPUSHBUTTON, else OK, else Yes). --close-window waits a few seconds
// for a top-level window titled exactly TITLE (the program that setup starts
// at its end) and closes it. --report then lists what the installer PROGRAM
// left behind, using the names in its own setup INI.
//
// Exit status: 0 when everything went as asked; 1 when a window had to be
// cancelled, a scripted answer was not used or the window to close did not
// appear; 2 when the program ran out of time (it was killed); 3 when it could
// not be started; 4 for a wrong command line.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "InstallationReport.h"
#include "ProcessRunner.h"
#include "Responders.h"

namespace {

constexpr DWORD kCloseWindowWaitMs = 10000;
constexpr DWORD kCloseGraceMs = 5000;

struct DriverOptions {
    DWORD timeoutSeconds = 60;
    std::vector<std::string> presses;
    std::string closeWindow;
    bool report = false;
    std::vector<std::string> program;  // program and its arguments
};

void say(const std::string& text) {
    fputs(text.c_str(), stdout);
    fflush(stdout);
}

const char kUsage[] =
    "usage: setup-driver.exe [--timeout SECONDS] [--press TEXT]... [--close-window TITLE] [--report]\n"
    "                        -- PROGRAM [ARGUMENTS...]\n";

bool parse(int argc, char** argv, DriverOptions& options) {
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--") { ++i; break; }
        if (arg == "--report") { options.report = true; continue; }
        if (!hasValue) return false;
        if (arg == "--timeout") {
            char* end = nullptr;
            unsigned long seconds = strtoul(argv[++i], &end, 10);
            if (*end != '\0' || seconds == 0 || seconds > 3600) return false;
            options.timeoutSeconds = static_cast<DWORD>(seconds);
        } else if (arg == "--press") {
            options.presses.push_back(argv[++i]);
        } else if (arg == "--close-window") {
            options.closeWindow = argv[++i];
        } else {
            return false;
        }
    }
    for (; i < argc; ++i) options.program.push_back(argv[i]);
    return !options.program.empty();
}

std::string seconds(DWORD ms) {
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

// Waits for the window and closes it; false when none appeared.
bool closeWindowTitled(const std::string& title) {
    say("Waiting up to " + seconds(kCloseWindowWaitMs) + " for a window titled \"" + title + "\"...\n");
    HWND window = waitForTopLevelWindow(title, kCloseWindowWaitMs);
    if (!window) {
        say("No window titled \"" + title + "\" appeared.\n");
        return false;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    say("Found the window \"" + title + "\" of process " + std::to_string(processId) + "; closing it.\n");
    switch (closeTopLevelWindow(window, kCloseGraceMs)) {
    case CloseOutcome::Closed: say("It closed.\n"); break;
    case CloseOutcome::Terminated: say("It did not close; its process was terminated.\n"); break;
    case CloseOutcome::Failed: say("It did not close, and its process could not be terminated.\n"); break;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    DriverOptions options;
    if (!parse(argc, argv, options)) {
        say(kUsage);
        return 4;
    }
    std::string commandLine;
    for (const std::string& part : options.program) commandLine += (commandLine.empty() ? "" : " ") + quoteArgument(part);

    size_t scriptedUsed = 0;
    RunOptions run;
    run.commandLine = commandLine;
    run.timeoutMs = options.timeoutSeconds * 1000;
    run.responder = pressInOrder(options.presses, pressDefault());
    size_t shown = 0;
    run.onRecord = [&](const SeenWindow& seen) {
        say("[" + std::to_string(++shown) + "] at " + seconds(seen.atMs) + ": " + describeSeen(seen));
        if (seen.answer.find("scripted answer") != std::string::npos) ++scriptedUsed;
    };
    say("Running " + commandLine + " (timeout " + std::to_string(options.timeoutSeconds) + " s)\n");
    RunResult result = runProgram(run);
    if (!result.started) {
        say("Could not start " + commandLine + " (error " + std::to_string(result.startError) + ").\n");
        return 3;
    }
    if (shown == 0) say("It showed no dialog or message box.\n");
    if (result.timedOut) {
        say(options.program[0] + " timed out after " + seconds(result.elapsedMs) +
            " and was killed with the processes it started.\n");
        return 2;
    }
    say(options.program[0] + " ended with exit code " + std::to_string(result.exitCode) + " after " +
        seconds(result.elapsedMs) + ".\n");

    bool asExpected = result.problemCount() == 0;
    if (!asExpected) say(std::to_string(result.problemCount()) + " window(s) had to be cancelled.\n");
    if (scriptedUsed < options.presses.size()) {
        say(std::to_string(options.presses.size() - scriptedUsed) + " scripted answer(s) were not used.\n");
        asExpected = false;
    }
    if (!options.closeWindow.empty() && !closeWindowTitled(options.closeWindow)) asExpected = false;
    if (options.report) say(installationReport(options.program[0]));
    return asExpected ? 0 : 1;
}
