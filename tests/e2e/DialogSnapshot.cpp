// dialog-snapshot.exe: holds the installer's dialogs open while
// docs/screenshots.sh takes pictures of the screen.
//
//   dialog-snapshot.exe FOLDER PROGRAM [ARGUMENTS...]
//       Runs the installer PROGRAM. When its install prompt appears, the
//       prompt's screen rectangle is written to FOLDER\prompt.rect ("left top
//       right bottom") and the prompt stays as it is until FOLDER\prompt.done
//       exists; then it is answered No and the failure message OK.
//   dialog-snapshot.exe --directory FOLDER SETUP_EXE
//       Shows the directory dialog of SETUP_EXE (its template, the installer's
//       dialog procedure, the texts of its setup INI) on its own, held the same
//       way (directory.rect, directory.done), then cancelled. Under Wine 8 a
//       dialog opened from another dialog's button is never painted, in the
//       installer or in any program, so it is pictured on its own.
//
// Exit status: the program's exit code, or 100 when it ran out of time or a
// window was not the expected one.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>

#include "ProcessRunner.h"
#include "common/InstallState.h"
#include "config/SetupConfig.h"
#include "driver/RunSetup.h"
#include "res/resource.h"
#include "ui/DirectoryDialog.h"

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool writeBytes(const std::string& path, const void* bytes, DWORD size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

// Announces a dialog's rectangle as FOLDER\NAME.rect and tells when the
// picture has been taken (FOLDER\NAME.done).
class Shot {
public:
    Shot(const std::string& folder, const std::string& name) : base_(folder + "\\" + name) {}

    bool announce(HWND window) {
        RECT r;
        GetWindowRect(window, &r);
        std::string text = std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
                           " " + std::to_string(r.bottom) + "\n";
        return writeBytes(base_ + ".rect", text.data(), static_cast<DWORD>(text.size()));
    }
    bool taken() const { return exists(base_ + ".done"); }

private:
    std::string base_;
};

int snapshotPrompt(const std::string& folder, int argc, char** argv) {
    RunOptions run;
    for (int i = 0; i < argc; ++i) run.commandLine += (i > 0 ? " " : "") + quoteArgument(argv[i]);
    run.timeoutMs = 300000;
    Shot prompt(folder, "prompt");
    bool announced = false;
    run.responder = [&](const WindowInfo& window) {
        if (window.isMessageBox()) return Response::press(IDOK);
        if (!window.control(IDC_DESCRIPTION)) return Response::close().markUnexpected("not expected");
        if (!announced) announced = prompt.announce(window.hwnd);
        return prompt.taken() ? Response::press(IDNO) : Response::wait();
    };
    RunResult result = runProgram(run);
    fputs(result.describe().c_str(), stdout);
    if (!result.started || result.timedOut || result.problemCount() != 0) return 100;
    return static_cast<int>(result.exitCode);
}

// The setup INI of `setup` (RCDATA 130), read as the installer reads it.
bool loadTexts(HINSTANCE setup, const std::string& folder) {
    HRSRC found = FindResourceExA(setup, RT_RCDATA, MAKEINTRESOURCEA(IDR_SETUP_INI), 0);
    if (!found) return false;
    std::string iniFile = folder + "\\setup.ini";
    if (!writeBytes(iniFile, LockResource(LoadResource(setup, found)), SizeofResource(setup, found))) return false;
    bool loaded = readSetupConfiguration(nullptr, iniFile.c_str());
    DeleteFileA(iniFile.c_str());
    return loaded;
}

BOOL CALLBACK matchDirectoryDialog(HWND window, LPARAM found) {
    if (!IsWindowVisible(window) || !GetDlgItem(window, IDC_EXPLORE)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND findDirectoryDialog(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(thread, matchDirectoryDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

int snapshotDirectoryDialog(const std::string& folder, const char* setupFile) {
    HINSTANCE setup = LoadLibraryExA(setupFile, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!setup || !loadTexts(setup, folder)) return 100;
    installState.instance = setup;
    installState.freshInstall = 1;
    readProgramFilesDir(installState.baseDir);

    DWORD thread = GetCurrentThreadId();
    bool held = false;
    std::thread holder([&] {
        Shot shot(folder, "directory");
        for (DWORD start = GetTickCount(); GetTickCount() - start < 300000; Sleep(50)) {
            HWND dialog = findDirectoryDialog(thread);
            if (!dialog) continue;
            if (!held) held = shot.announce(dialog);
            if (shot.taken()) {
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                return;
            }
        }
    });
    INT_PTR result = DialogBoxParamA(setup, MAKEINTRESOURCEA(IDD_DIRECTORY), nullptr, directoryDialogProc, 0);
    holder.join();
    FreeLibrary(setup);
    return held && result == IDCANCEL ? 0 : 100;
}

}  // namespace

int main(int argc, char** argv) {
    // As setup.exe: the dialogs in the display's pixels, rectangles too.
    using SetProcessDpiAwareFn = BOOL(WINAPI*)();
    if (FARPROC aware = GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDPIAware")) {
        reinterpret_cast<SetProcessDpiAwareFn>(reinterpret_cast<void (*)()>(aware))();
    }
    if (argc == 4 && strcmp(argv[1], "--directory") == 0) return snapshotDirectoryDialog(argv[2], argv[3]);
    if (argc >= 3 && argv[1][0] != '-') return snapshotPrompt(argv[1], argc - 2, argv + 2);
    fputs("usage: dialog-snapshot.exe FOLDER PROGRAM [ARGUMENTS...]\n"
          "       dialog-snapshot.exe --directory FOLDER SETUP_EXE\n",
          stderr);
    return 100;
}
