// Sample Notes: the example program that the example installer carries, in
// place of a vendor's real program.
//
// Its main window is titled exactly "Sample Notes": the installer finds
// running copies by that title and asks them to close with WM_SYSCOMMAND
// SC_CLOSE, which the default window procedure turns into WM_CLOSE. The
// window shows the program's version, the folder it runs from and where its
// documents are. The uninstall entry starts it with "-u": it then hands over
// to the uninstall library, as a vendor's program does ("-u -s": the quiet
// variant), and ends with its result. Any other argument is taken for a
// document to open (the file type's open command).
#include <windows.h>

#include "SampleNotesVersion.h"
#include "uninstall/setup-uninstall.h"

namespace {

const char kTitle[] = "Sample Notes";
const char kWindowClass[] = "SampleNotesWindow";
constexpr int kLineCount = 4;
constexpr int kTextSize = MAX_PATH + 64;

// Appends `text` to `line`, never past `size` bytes; false when cut.
bool append(char* line, int size, const char* text) {
    int used = lstrlenA(line);
    int length = lstrlenA(text);
    if (used + length >= size) {
        lstrcpynA(line + used, text, size - used);
        return false;
    }
    CopyMemory(line + used, text, static_cast<SIZE_T>(length) + 1);
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The command line after the program's own name. The name may be quoted, or
// (as the installer starts the program) an unquoted full path with spaces.
const char* argumentsOf(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {}
        if (*p == '"') ++p;
    } else {
        char module[MAX_PATH];
        DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
        bool whole = length > 0 && length < sizeof module && lstrlenA(p) >= static_cast<int>(length) &&
                     CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p, static_cast<int>(length), module,
                                    static_cast<int>(length)) == CSTR_EQUAL &&
                     (p[length] == '\0' || isBlank(p[length]));
        if (whole) p += length;
        else while (*p && !isBlank(*p)) ++p;
    }
    while (isBlank(*p)) ++p;
    return p;
}

// The document named by the arguments, without its quotes.
void documentOf(const char* arguments, char* document, int size) {
    document[0] = '\0';
    if (*arguments == '"') ++arguments;
    append(document, size, arguments);
    int length = lstrlenA(document);
    while (length > 0 && (document[length - 1] == '"' || isBlank(document[length - 1]))) document[--length] = '\0';
}

void buildLines(char lines[kLineCount][kTextSize]) {
    for (int i = 0; i < kLineCount; ++i) lines[i][0] = '\0';
    append(lines[0], kTextSize, "Sample Notes " SAMPLE_NOTES_VERSION_TEXT);

    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) folder[0] = '\0';
    for (int i = lstrlenA(folder) - 1; i >= 0 && folder[i] != '\\'; --i) folder[i] = '\0';
    if (folder[0]) folder[lstrlenA(folder) - 1] = '\0';
    append(lines[1], kTextSize, "Running from: ");
    append(lines[1], kTextSize, folder[0] ? folder : "(unknown)");

    append(lines[2], kTextSize, "Your notes are in Documents\\SampleNotes.");

    char document[MAX_PATH];
    documentOf(argumentsOf(GetCommandLineA()), document, sizeof document);
    if (document[0]) {
        append(lines[3], kTextSize, "Document: ");
        append(lines[3], kTextSize, document);
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        char lines[kLineCount][kTextSize];
        buildLines(lines);
        HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
        HINSTANCE instance = reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance;
        for (int i = 0; i < kLineCount; ++i) {
            HWND line = CreateWindowExA(0, "STATIC", lines[i], WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 16,
                                        16 + 24 * i, 560, 20, window, reinterpret_cast<HMENU>(100 + i), instance,
                                        nullptr);
            SendMessageA(line, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const char* arguments = argumentsOf(GetCommandLineA());
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, arguments, -1, "-u", -1) == CSTR_EQUAL) {
        return setupUninstall();
    }
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, arguments, -1, "-u -s", -1) == CSTR_EQUAL) {
        return setupUninstallQuiet();
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowExA(0, kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 620,
                                  170, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
