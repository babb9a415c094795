// dialog-snapshot.exe: runs an installer and holds each of its dialogs open
// while a picture of the screen is taken (docs/screenshots.sh).
//
//   dialog-snapshot.exe FOLDER PROGRAM [ARGUMENTS...]
//
// When the install prompt appears, its screen rectangle is written to
// FOLDER\prompt.rect ("left top right bottom"), and the prompt stays as it is
// until FOLDER\prompt.done exists. Then, if the prompt offers Change, Change
// is pressed and the directory dialog is held the same way (directory.rect,
// directory.done) before it is cancelled. The prompt is then answered No and
// the failure message OK. Exit status: the program's exit code, or 100 when
// it ran out of time or a window was not the expected one.
#include <windows.h>

#include <stdio.h>

#include <string>

#include "ProcessRunner.h"
#include "res/resource.h"

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool writeText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// Holds one dialog open for its picture: true once the picture was taken.
class Shot {
public:
    Shot(const std::string& folder, const std::string& name) : base_(folder + "\\" + name) {}

    bool taken(const WindowInfo& window) {
        if (!announced_) {
            const RECT& r = window.rect;
            announced_ = writeText(base_ + ".rect", std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                                                        std::to_string(r.right) + " " + std::to_string(r.bottom) +
                                                        "\n");
            return false;
        }
        return exists(base_ + ".done");
    }

private:
    std::string base_;
    bool announced_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fputs("usage: dialog-snapshot.exe FOLDER PROGRAM [ARGUMENTS...]\n", stderr);
        return 100;
    }
    std::string folder = argv[1];
    RunOptions run;
    for (int i = 2; i < argc; ++i) run.commandLine += (i > 2 ? " " : "") + quoteArgument(argv[i]);
    run.timeoutMs = 300000;

    Shot prompt(folder, "prompt");
    Shot directory(folder, "directory");
    bool promptDone = false;
    run.responder = [&](const WindowInfo& window) {
        if (window.isMessageBox()) return Response::press(IDOK);
        if (window.control(IDC_EXPLORE)) {
            return directory.taken(window) ? Response::press(IDCANCEL) : Response::wait();
        }
        if (!window.control(IDC_DESCRIPTION)) return Response::close().markUnexpected("not expected");
        if (promptDone) return Response::press(IDNO);
        if (!prompt.taken(window)) return Response::wait();
        promptDone = true;
        const ControlInfo* change = window.control(IDC_CHANGE);
        return change && change->visible ? Response::press(IDC_CHANGE) : Response::press(IDNO);
    };
    RunResult result = runProgram(run);
    fputs(result.describe().c_str(), stdout);
    if (!result.started || result.timedOut || result.problemCount() != 0) return 100;
    return static_cast<int>(result.exitCode);
}
