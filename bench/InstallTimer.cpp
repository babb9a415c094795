// install-timer.exe: runs an installer unattended, presses the default button
// of every message box it shows (the completion box), and prints when the
// first one appeared and when the installer ended, in milliseconds from its
// start (windows are looked for every 30 ms):
//   install-timer.exe [--timeout SECONDS] PROGRAM [ARGUMENTS...]
//   box_ms 2390        (-1: no message box)
//   exit_ms 2450
//   exit_code 1
// Exit status: 0 when the program ran to its end, 2 on a timeout, 3 when it
// could not be started, 4 for a wrong command line. Used by bench/vs-nsis.sh.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "ProcessRunner.h"
#include "Responders.h"

int main(int argc, char** argv) {
    int first = 1;
    DWORD timeoutSeconds = 600;
    if (argc > 2 && strcmp(argv[1], "--timeout") == 0) {
        timeoutSeconds = strtoul(argv[2], nullptr, 10);
        first = 3;
    }
    if (first >= argc || timeoutSeconds == 0) {
        fputs("usage: install-timer.exe [--timeout SECONDS] PROGRAM [ARGUMENTS...]\n", stderr);
        return 4;
    }
    RunOptions run;
    for (int i = first; i < argc; ++i) run.commandLine += (i > first ? " " : "") + quoteArgument(argv[i]);
    run.timeoutMs = timeoutSeconds * 1000;
    run.responder = pressDefault();
    long boxMs = -1;
    run.onRecord = [&](const SeenWindow& seen) {
        if (boxMs < 0 && seen.window.isMessageBox()) boxMs = static_cast<long>(seen.atMs);
    };
    RunResult result = runProgram(run);
    if (!result.started) {
        fprintf(stderr, "could not start %s (error %lu)\n", run.commandLine.c_str(), result.startError);
        return 3;
    }
    printf("box_ms %ld\nexit_ms %lu\nexit_code %lu\n", boxMs, result.elapsedMs, result.exitCode);
    if (result.timedOut) {
        fprintf(stderr, "%s timed out and was killed\n%s", run.commandLine.c_str(), result.describe().c_str());
        return 2;
    }
    return 0;
}
