#include "ui/TaskbarProgress.h"

#include <objbase.h>

// Zero-initialised, so that none of this costs setup.exe a data section or
// a constructor.
ITaskbarList3* taskbarSeam;

namespace {

struct Progress {
    HWND window;           // the button's window; null while no work runs
    HWND button;           // the last window whose button the shell announced
    bool unavailable;      // the shell's interface could not be had: stop asking
    bool comStarted;       // COM started here, to be ended here
    bool shownNormal;      // the button shows the bar
    ITaskbarList3* taskbar;
    uint64_t total;
    uint64_t done;
};

Progress progress;

// The shell's taskbar interface, asked for once per piece of work.
bool haveTaskbar() {
    if (progress.unavailable) return false;
    if (progress.taskbar) return true;
    progress.unavailable = true;
    void* created = taskbarSeam;
    if (!created) {
        progress.comStarted = SUCCEEDED(CoInitialize(nullptr));
        if (!progress.comStarted ||
            FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, &created))) {
            return false;
        }
    }
    // Released at the end of the work, usable or not.
    progress.taskbar = static_cast<ITaskbarList3*>(created);
    if (FAILED(progress.taskbar->HrInit())) return false;
    progress.unavailable = false;
    return true;
}

void setState(TBPFLAG state) {
    progress.taskbar->SetProgressState(progress.window, state);
    progress.shownNormal = state == TBPF_NORMAL;
}

}  // namespace

void taskbarButtonCreated(HWND window) {
    // A button made anew (the shell restarted) shows nothing yet; the work
    // shows the bar at its next look at the queue.
    progress.button = window;
    progress.shownNormal = false;
}

void beginTaskbarProgress(HWND window, uint64_t total) {
    progress.window = window;
    progress.total = total;
    progress.done = 0;
    progress.shownNormal = false;
}

void addTaskbarProgress(uint64_t bytes) { progress.done += bytes; }

void showTaskbarProgress() {
    if (!progress.window || progress.total == 0 || progress.button != progress.window || !haveTaskbar()) return;
    // Never past the whole, whatever was counted.
    uint64_t done = progress.done;
    if (done > progress.total) done = progress.total;
    // The bar first, if the button shows none.
    if (!progress.shownNormal) setState(TBPF_NORMAL);
    progress.taskbar->SetProgressValue(progress.window, done, progress.total);
}

void pauseTaskbarProgress() {
    if (progress.shownNormal) setState(TBPF_NOPROGRESS);
}

void endTaskbarProgress(bool completed) {
    // What was counted, which is the whole when every byte was.
    if (completed) showTaskbarProgress();
    pauseTaskbarProgress();
    if (progress.taskbar) progress.taskbar->Release();
    progress.taskbar = nullptr;
    if (progress.comStarted) CoUninitialize();
    progress.comStarted = false;
    progress.unavailable = false;
    progress.window = nullptr;
}
