#include "DialogRunner.h"

#include <thread>
#include <vector>

namespace {

bool isDialogClass(HWND window) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return lstrcmpA(name, "#32770") == 0;
}

BOOL CALLBACK collectDialog(HWND window, LPARAM found) {
    if (isDialogClass(window) && IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::vector<HWND> dialogsOf(DWORD thread) {
    std::vector<HWND> dialogs;
    EnumThreadWindows(thread, collectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

// Cancels every dialog and message box of `thread`, innermost first (only an
// enabled one can take the command), until none is left.
void cancelAll(DWORD thread) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWindowWaitMs;) {
        std::vector<HWND> dialogs = dialogsOf(thread);
        if (dialogs.empty()) return;
        for (HWND dialog : dialogs) {
            if (IsWindowEnabled(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        Sleep(50);
    }
}

}  // namespace

INT_PTR runDialog(HINSTANCE instance, int resource, HWND owner, DLGPROC procedure,
                  const std::function<void(DWORD dialogThread)>& script) {
    DWORD dialogThread = GetCurrentThreadId();
    std::thread worker([&] {
        script(dialogThread);
        cancelAll(dialogThread);
    });
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(resource), owner, procedure, 0);
    worker.join();
    return result;
}

HWND waitForWindow(DWORD thread, const std::function<bool(HWND)>& match) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWindowWaitMs; Sleep(10)) {
        for (HWND dialog : dialogsOf(thread)) {
            if (IsWindowEnabled(dialog) && match(dialog)) return dialog;
        }
    }
    return nullptr;
}

HWND waitForDialogWith(DWORD thread, int id) {
    return waitForWindow(thread, [id](HWND dialog) { return GetDlgItem(dialog, id) != nullptr; });
}

HWND waitForMessageBox(DWORD thread) { return waitForDialogWith(thread, 0xFFFF); }

bool waitUntilGone(HWND window) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWindowWaitMs; Sleep(10)) {
        if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    }
    return false;
}

std::string windowText(HWND window) {
    std::vector<char> text(GetWindowTextLengthA(window) + 1);
    GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::string itemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

bool isItemVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

bool isItemEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

void pressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void pressKey(HWND dialog, WPARAM key) {
    PostMessageA(dialog, WM_KEYDOWN, key, 1);
    PostMessageA(dialog, WM_KEYUP, key, 0xC0000001);
}

void pressCloseBox(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

void setItemText(HWND dialog, int id, const std::string& text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void typeText(HWND dialog, int id, const std::string& text) {
    HWND edit = GetDlgItem(dialog, id);
    int end = GetWindowTextLengthA(edit);
    SendMessageA(edit, EM_SETSEL, end, end);  // the caret at the end
    for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void pressButtonAndWait(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
