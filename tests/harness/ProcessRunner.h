#pragma once
// Starts a program, answers its dialogs and message boxes through a
// WindowWatcher until it ends, and kills it (with every process it started)
// when it runs past its time.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "WindowWatcher.h"

struct RunOptions {
    std::string commandLine;    // as for CreateProcessA (program first)
    std::string currentDir;     // empty: the caller's
    DWORD timeoutMs = 60000;
    Responder responder;        // empty: every window is left alone
    std::function<void(const SeenWindow&)> onRecord;  // optional, called as windows are recorded
    // Also watch the processes the program starts (and those they start),
    // answer their windows with the same responder, and wait for their end
    // too (within the same timeout).
    bool followChildren = false;
};

struct RunResult {
    bool started = false;
    DWORD startError = 0;       // GetLastError of CreateProcessA when not started
    DWORD processId = 0;
    bool timedOut = false;      // killed, with the processes it started, after timeoutMs
    DWORD exitCode = 0;         // meaningful when started and not timed out
    DWORD elapsedMs = 0;
    std::vector<SeenWindow> windows;  // the program's, then each child's in the order they were found
    std::vector<DWORD> childExitCodes;  // with followChildren: each child's, in the order they were found

    // Entries marked unexpected or whose steps failed.
    size_t problemCount() const;
    // Everything above as readable text, for failure messages.
    std::string describe() const;
};

// A program started without waiting for it, in a job with everything it
// starts. If it still runs when the object goes, the whole job is killed.
class StartedProgram {
public:
    StartedProgram() = default;
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    // Starts `commandLine` in `currentDir` (empty: the caller's); false with
    // startError() set when CreateProcessA fails.
    bool start(const std::string& commandLine, const std::string& currentDir = "");
    DWORD startError() const { return startError_; }
    DWORD processId() const { return processId_; }
    HANDLE process() const { return process_; }
    // Waits up to `timeoutMs` for the end; true with its exit code when it ended.
    bool waitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    // Kills the program and everything it started, and waits for its end.
    void kill();

private:
    HANDLE process_ = nullptr;
    HANDLE job_ = nullptr;
    DWORD processId_ = 0;
    DWORD startError_ = 0;
};

// Runs the program to its end or its timeout. The process and everything it
// starts share a job, so that a timeout ends them all; processes it started
// outlive a normal end.
RunResult runProgram(const RunOptions& options);

// `argument` quoted for a command line when it needs quotes.
std::string quoteArgument(const std::string& argument);

// The folder of the running executable, without a trailing backslash.
std::string ownFolder();

// Visible top-level windows whose title is exactly `title`, of process
// `processId` (0: of any process).
std::vector<HWND> findTopLevelWindows(const std::string& title, DWORD processId = 0);
// Waits up to `timeoutMs` for such a window; null when none appeared.
HWND waitForTopLevelWindow(const std::string& title, DWORD timeoutMs, DWORD processId = 0);

enum class CloseOutcome { Closed, Terminated, Failed };
// Posts WM_CLOSE and waits up to `waitMs` for the window to go; when it
// stays, terminates its process.
CloseOutcome closeTopLevelWindow(HWND hwnd, DWORD waitMs);
