#pragma once
// Watches the dialogs and message boxes of one process, lets a responder
// answer each of them, and records what was seen and answered, in order.
//
// A window is watched when it is a visible top-level window of class
// "#32770" (dialogs and message boxes) that belongs to the watched process.
// It is offered to the responder while it is enabled (a window with a modal
// child is disabled) and no earlier answer to it is still being handled, so a
// dialog is offered again once a nested dialog or message box it opened has
// gone. Texts are read with WM_GETTEXT, which works across processes.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The id of the text of a message box.
constexpr int kMessageBoxTextId = 0xFFFF;

struct ControlInfo {
    HWND hwnd = nullptr;
    int id = 0;              // low 16 bits of the control id
    std::string className;   // "Button", "Static", "Edit", ...
    std::string text;
    DWORD style = 0;
    bool visible = false;    // WS_VISIBLE of the control itself
    bool enabled = false;
    RECT rect = {};          // in the dialog's client coordinates

    bool isButton() const;          // a push button of any kind
    bool isDefaultButton() const;   // BS_DEFPUSHBUTTON
};

struct WindowInfo {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    DWORD processId = 0;
    std::string caption;
    std::string messageText;           // the text of control 65535 (message boxes), else ""
    RECT rect = {};                    // screen coordinates
    RECT clientRect = {};              // client area: 0, 0, width, height
    std::vector<ControlInfo> controls; // direct children, in tab order

    bool isMessageBox() const;
    // The control with this id, or null.
    const ControlInfo* control(int id) const;
    // The push button whose text is `text`, both without '&'; null if none.
    const ControlInfo* button(const std::string& text) const;
    // The push buttons' texts without '&', in tab order (visible ones only).
    std::vector<std::string> buttonTexts() const;
    // The button a user's Enter would press: BS_DEFPUSHBUTTON, else OK, else
    // Yes; null when there is none.
    const ControlInfo* defaultButton() const;
};

// `text` with every '&' that marks an access key removed ("&&" gives "&").
std::string withoutAccessKeys(const std::string& text);

// One thing to do to a window.
struct Step {
    enum Kind { Press, SetText, Command };
    Kind kind = Press;
    int id = 0;             // control id (Press by id, SetText) or command id
    std::string text;       // Press: button text without '&' (if not empty); SetText: new text
};

// What a responder wants done to a window: the steps in order, the last of
// which usually presses a button. No steps: leave it alone for now (it is
// offered again later).
struct Response {
    std::vector<Step> steps;
    bool unexpected = false;  // the window should not have appeared
    std::string note;         // why, for the record (optional)

    static Response wait() { return Response(); }
    // Presses a control (buttons by BM_CLICK, other controls by a mouse click).
    static Response press(int id) { return Response().thenPress(id); }
    // Presses the button whose text without '&' is `text`.
    static Response pressText(const std::string& text) { return Response().thenPressText(text); }
    // Sends the window WM_COMMAND with `id` as the keyboard does: Enter
    // sends the default button's id, Escape IDCANCEL.
    static Response command(int id) { return Response().thenCommand(id); }
    // Cancels the window as Escape would (WM_COMMAND IDCANCEL).
    static Response close() { return command(IDCANCEL); }

    Response& thenPress(int id);
    Response& thenPressText(const std::string& text);
    Response& thenSetText(int id, const std::string& text);
    Response& thenCommand(int id);
    Response& markUnexpected(const std::string& why);
    Response& because(const std::string& why);
    bool waits() const { return steps.empty(); }
};

using Responder = std::function<Response(const WindowInfo&)>;

// One entry of the record: a window as it was when it was answered (or, when
// it never was, when it was last offered), and what was done.
struct SeenWindow {
    WindowInfo window;
    std::string answer;       // what was done, in words ("pressed Yes", "left alone")
    bool answered = false;    // false: left alone until it went or the watch ended
    bool unexpected = false;  // the responder marked it unexpected
    bool failed = false;      // a step could not be done (the window was then closed)
    DWORD atMs = 0;           // milliseconds since the watch began
};

// The description of a window as readable text (caption, texts, controls,
// buttons) and of a record entry; used in test failure messages and by the
// command-line driver.
std::string describeWindow(const WindowInfo& window);
std::string describeSeen(const SeenWindow& seen);
std::string describeRecord(const std::vector<SeenWindow>& record);

// Reads the state of a dialog window of any process.
WindowInfo readWindow(HWND hwnd);

// Watches one process from the calling thread: call poll() regularly (the
// thread must also let its message queue be peeked, which poll() does), then
// finish() once the process has ended or the watch is over.
class WindowWatcher {
public:
    WindowWatcher(DWORD processId, Responder responder);
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;

    // Called with each entry as it is recorded.
    void onRecord(std::function<void(const SeenWindow&)> observer) { observer_ = std::move(observer); }

    // Looks at the process's windows once and answers those that are due.
    void poll();
    // Records the windows still left alone and returns the whole record.
    std::vector<SeenWindow> finish();

    const std::vector<SeenWindow>& record() const { return record_; }

private:
    struct Tracked;
    void forgetGone(const std::vector<HWND>& present);
    Tracked& track(HWND hwnd);
    void offer(Tracked& tracked);
    bool perform(Tracked& tracked, const WindowInfo& info, const Response& response, std::string& answer);
    bool doStep(Tracked& tracked, const WindowInfo& info, const Step& step, std::string& done);
    bool sendTracked(Tracked& tracked, HWND target, UINT message, WPARAM wParam, LPARAM lParam);
    void append(SeenWindow seen);

    DWORD processId_;
    Responder responder_;
    std::function<void(const SeenWindow&)> observer_;
    std::vector<std::unique_ptr<Tracked>> tracked_;
    std::vector<SeenWindow> record_;
    DWORD startTick_;
};

// Answers the dialogs and message boxes of the current process from a worker
// thread, for tests that show them on their own main thread. The responder
// runs on the worker thread.
class BackgroundWatcher {
public:
    explicit BackgroundWatcher(Responder responder);
    ~BackgroundWatcher();
    BackgroundWatcher(const BackgroundWatcher&) = delete;
    BackgroundWatcher& operator=(const BackgroundWatcher&) = delete;

    // Stops the worker and returns the record.
    std::vector<SeenWindow> stop();

private:
    static DWORD WINAPI threadMain(void* self);

    Responder responder_;
    HANDLE stopEvent_;
    HANDLE thread_;
    std::vector<SeenWindow> record_;
};
