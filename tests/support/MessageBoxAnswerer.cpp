#include "MessageBoxAnswerer.h"

namespace {

struct Search {
    HWND found = nullptr;
};

// A visible dialog-class window that is enabled (not behind a nested one).
BOOL CALLBACK findMessageBox(HWND window, LPARAM parameter) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    reinterpret_cast<Search*>(parameter)->found = window;
    return FALSE;
}

std::string windowText(HWND window) {
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(Answer answer)
    : answer_(std::move(answer)), threadId_(GetCurrentThreadId()), worker_([this] { watch(); }) {}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    worker_.join();
}

std::vector<ShownMessageBox> MessageBoxAnswerer::boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

void MessageBoxAnswerer::watch() {
    HWND answered = nullptr;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        Sleep(20);
        Search search;
        EnumThreadWindows(threadId_, findMessageBox, reinterpret_cast<LPARAM>(&search));
        // A box that was answered stays until its loop ends: not twice.
        if (!search.found || search.found == answered) continue;
        ShownMessageBox box;
        box.caption = windowText(search.found);
        box.text = windowText(GetDlgItem(search.found, 0xFFFF));
        box.buttons = GetDlgItem(search.found, IDRETRY) ? MB_RETRYCANCEL : MB_OK;
        size_t index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(box);
            index = boxes_.size() - 1;
        }
        int button = answer_(box, index);
        answered = search.found;
        PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.found, button)));
    }
}
