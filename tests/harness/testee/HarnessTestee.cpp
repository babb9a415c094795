// A small GUI program for the harness's own tests: it asks its questions in
// a message box and in dialogs built from in-memory templates, and exits with
// a code made from the answers.
//
//   (no argument)  message box "Harness Testee" (Yes, No, Cancel); then the
//                  dialog "Testee Dialog"; its button "Nested..." opens the
//                  dialog "Testee Nested", whose OK first shows the message
//                  box "Testee Nested" owned by it. Exit code:
//                    message box answer (IDYES 6, IDNO 7, IDCANCEL 2)
//                  + 10 x dialog result (1 OK, 2 Cancel)
//                  + 30 x nested dialog result (0 when not opened)
//                  + 100 when the edit held "typed" at OK.
//   hang           starts "child", then shows a message box "Testee Hang"
//                  whose text is "child " and the child's process id.
//   child          shows a message box "Testee Child".
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

enum : int {
    kNameLabel = 100, kNameEdit = 101, kNestedButton = 102, kDisabledButton = 103, kHiddenEdit = 104,
    kNestedLabel = 200,
};

// A dialog template in memory (DLGTEMPLATE followed by DLGITEMTEMPLATEs).
class DialogTemplate {
public:
    DialogTemplate(const char* caption, short cx, short cy) {
        dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
        dword(0);
        countAt_ = words_.size();
        words_.push_back(0);
        for (short v : {short(0), short(0), cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // default dialog class
        text(caption);
        words_.push_back(8);
        text("MS Sans Serif");
    }

    // classAtom: 0x80 button, 0x81 edit, 0x82 static.
    void add(WORD classAtom, int id, const char* title, DWORD style, short x, short y, short cx, short cy) {
        if (words_.size() % 2) words_.push_back(0);
        dword(style | WS_CHILD);
        dword(0);
        for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(static_cast<WORD>(id));
        words_.push_back(0xFFFF);
        words_.push_back(classAtom);
        text(title);
        words_.push_back(0);  // no creation data
        ++words_[countAt_];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void dword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void text(const char* value) {
        for (const char* p = value; *p; ++p) words_.push_back(static_cast<unsigned char>(*p));
        words_.push_back(0);
    }

    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

int nestedResult = 0;
bool typedText = false;

INT_PTR CALLBACK nestedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        MessageBoxA(dialog, "Nested message", "Testee Nested", MB_OK);
        EndDialog(dialog, IDOK);
    } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
    }
    return TRUE;
}

INT_PTR CALLBACK mainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case kNestedButton: {
        DialogTemplate nested("Testee Nested", 160, 50);
        nested.add(0x82, kNestedLabel, "Nested dialog", WS_VISIBLE, 5, 5, 150, 12);
        nested.add(0x80, IDOK, "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 50, 28, 50, 14);
        nested.add(0x80, IDCANCEL, "Cancel", WS_VISIBLE | WS_TABSTOP, 105, 28, 50, 14);
        nestedResult = static_cast<int>(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), nested.get(), dialog,
                                                                nestedProc, 0));
        break;
    }
    case IDOK: {
        char text[64] = {};
        GetDlgItemTextA(dialog, kNameEdit, text, sizeof text);
        typedText = strcmp(text, "typed") == 0;
        EndDialog(dialog, IDOK);
        break;
    }
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    }
    return TRUE;
}

int askEverything() {
    int box = MessageBoxA(nullptr, "First question:\nproceed?", "Harness Testee", MB_YESNOCANCEL);
    DialogTemplate main("Testee Dialog", 220, 64);
    main.add(0x82, kNameLabel, "Name:", WS_VISIBLE, 5, 7, 40, 12);
    main.add(0x81, kNameEdit, "initial", WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 50, 5, 110, 12);
    main.add(0x80, kNestedButton, "&Nested...", WS_VISIBLE | WS_TABSTOP, 5, 25, 50, 14);
    main.add(0x80, kDisabledButton, "Disabled", WS_VISIBLE | WS_DISABLED | WS_TABSTOP, 60, 25, 50, 14);
    main.add(0x81, kHiddenEdit, "secret", WS_BORDER, 115, 25, 40, 12);
    main.add(0x80, IDOK, "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 110, 45, 50, 14);
    main.add(0x80, IDCANCEL, "Cancel", WS_VISIBLE | WS_TABSTOP, 165, 45, 50, 14);
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), main.get(), nullptr, mainProc, 0);
    return box + 10 * static_cast<int>(result) + 30 * nestedResult + (typedText ? 100 : 0);
}

int hangWithChild() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return 1;
    std::string command = std::string("\"") + path + "\" child";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) return 1;
    WaitForInputIdle(child.hProcess, 5000);
    std::string text = "child " + std::to_string(child.dwProcessId);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    MessageBoxA(nullptr, text.c_str(), "Testee Hang", MB_OK);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    if (strcmp(commandLine, "hang") == 0) return hangWithChild();
    if (strcmp(commandLine, "child") == 0) return MessageBoxA(nullptr, "child", "Testee Child", MB_OK) == IDOK ? 0 : 1;
    return askEverything();
}
