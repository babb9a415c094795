#pragma once
// Runs a modal dialog of the installer on the test's own thread while a
// script on a worker thread looks at it and answers it, as a user would.
//
// The dialog thread is inside a modal loop, so the script reads texts with
// sent messages (answered by that loop) and presses buttons with posted
// messages: a press that opens a message box must not block the script,
// which is the one to answer it.
#include <windows.h>

#include <functional>
#include <string>

// How long a script waits for a window to come or go.
constexpr DWORD kWindowWaitMs = 5000;

// Shows dialog `resource` of `instance` with `procedure`, owned by `owner`,
// on the calling thread while `script` runs with that thread's id; returns
// the dialog's result. Dialogs and message boxes that the script leaves open
// are cancelled when it returns, so a failed script cannot hang the test.
INT_PTR runDialog(HINSTANCE instance, int resource, HWND owner, DLGPROC procedure,
                  const std::function<void(DWORD dialogThread)>& script);

// The first enabled, visible dialog or message box of `thread` that `match`
// accepts, waiting up to kWindowWaitMs; null if none came.
HWND waitForWindow(DWORD thread, const std::function<bool(HWND)>& match);
// An enabled dialog of `thread` that has a control `id`.
HWND waitForDialogWith(DWORD thread, int id);
// An enabled message box of `thread` (its text control has id 0xFFFF).
HWND waitForMessageBox(DWORD thread);
// True once `window` is gone, waiting up to kWindowWaitMs.
bool waitUntilGone(HWND window);

std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);
bool isItemVisible(HWND dialog, int id);
bool isItemEnabled(HWND dialog, int id);

// Presses button `id`: the dialog gets its WM_COMMAND with BN_CLICKED.
void pressButton(HWND dialog, int id);
// A key pressed in the dialog (Enter, Escape), through its modal loop.
void pressKey(HWND dialog, WPARAM key);
// The caption's close box.
void pressCloseBox(HWND dialog);
// Replaces the text of control `id` at once, as a paste over all of it would.
void setItemText(HWND dialog, int id, const std::string& text);
// Types `text` into control `id` at its end, one character at a time; "\b"
// is the backspace key. Done when it returns.
void typeText(HWND dialog, int id, const std::string& text);
// Presses button `id` and returns once the dialog has handled it; only for
// buttons that open no modal window.
void pressButtonAndWait(HWND dialog, int id);
