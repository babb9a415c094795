#include "WindowWatcher.h"

#include <algorithm>
#include <atomic>
#include <set>

namespace {

// Bounds every cross-process request: a program busy in a long step answers
// later, a hung one not at all.
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollMs = 30;

std::string className(HWND hwnd) {
    char name[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

bool sameClass(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

// WM_GETTEXT works for every window of every process (GetWindowText does
// not read the text of another process's edit).
std::string windowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return "";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return "";
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

ControlInfo readControl(HWND dialog, HWND child) {
    ControlInfo control;
    control.hwnd = child;
    control.id = GetDlgCtrlID(child) & 0xFFFF;
    control.className = className(child);
    control.text = windowText(child);
    control.style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    control.visible = (control.style & WS_VISIBLE) != 0;
    control.enabled = (control.style & WS_DISABLED) == 0;
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    control.rect = rect;
    return control;
}

// Shows a control text on one line: line breaks as \n.
std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// Completion of the commands sent with SendMessageCallbackA: the platform
// calls back on the sending thread once the window procedure has returned
// (for a button that opened a nested dialog, once that dialog has ended).
thread_local std::set<ULONG_PTR> completedCommands;
std::atomic<ULONG_PTR> nextCommand{1};

void CALLBACK commandDone(HWND, UINT, ULONG_PTR command, LRESULT) { completedCommands.insert(command); }

bool takeCompleted(ULONG_PTR command) { return completedCommands.erase(command) != 0; }

void pumpOwnQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

struct Candidate {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectDialog(HWND hwnd, LPARAM param) {
    Candidate* candidate = reinterpret_cast<Candidate*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != candidate->processId || !IsWindowVisible(hwnd)) return TRUE;
    if (className(hwnd) == "#32770") candidate->found.push_back(hwnd);
    return TRUE;
}

}  // namespace

bool ControlInfo::isButton() const {
    if (!sameClass(className, "Button")) return false;
    DWORD type = style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool ControlInfo::isDefaultButton() const { return isButton() && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

bool WindowInfo::isMessageBox() const {
    const ControlInfo* text = control(kMessageBoxTextId);
    return text && sameClass(text->className, "Static");
}

const ControlInfo* WindowInfo::control(int id) const {
    for (const ControlInfo& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

const ControlInfo* WindowInfo::button(const std::string& text) const {
    for (const ControlInfo& c : controls) {
        if (c.isButton() && withoutAccessKeys(c.text) == withoutAccessKeys(text)) return &c;
    }
    return nullptr;
}

std::vector<std::string> WindowInfo::buttonTexts() const {
    std::vector<std::string> texts;
    for (const ControlInfo& c : controls) {
        if (c.isButton() && c.visible) texts.push_back(withoutAccessKeys(c.text));
    }
    return texts;
}

const ControlInfo* WindowInfo::defaultButton() const {
    for (const ControlInfo& c : controls) {
        if (c.isDefaultButton() && c.visible && c.enabled) return &c;
    }
    for (int id : {IDOK, IDYES}) {
        const ControlInfo* c = control(id);
        if (c && c->isButton() && c->visible && c->enabled) return c;
    }
    return nullptr;
}

std::string withoutAccessKeys(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        else if (text[i] == '&') continue;
        out += text[i];
    }
    return out;
}

Response& Response::thenPress(int id) {
    Step step;
    step.kind = Step::Press;
    step.id = id;
    steps.push_back(step);
    return *this;
}

Response& Response::thenPressText(const std::string& text) {
    Step step;
    step.kind = Step::Press;
    step.text = text;
    steps.push_back(step);
    return *this;
}

Response& Response::thenSetText(int id, const std::string& text) {
    Step step;
    step.kind = Step::SetText;
    step.id = id;
    step.text = text;
    steps.push_back(step);
    return *this;
}

Response& Response::thenCommand(int id) {
    Step step;
    step.kind = Step::Command;
    step.id = id;
    steps.push_back(step);
    return *this;
}

Response& Response::markUnexpected(const std::string& why) {
    unexpected = true;
    note = why;
    return *this;
}

Response& Response::because(const std::string& why) {
    note = why;
    return *this;
}

WindowInfo readWindow(HWND hwnd) {
    WindowInfo info;
    info.hwnd = hwnd;
    info.owner = GetWindow(hwnd, GW_OWNER);
    GetWindowThreadProcessId(hwnd, &info.processId);
    info.caption = windowText(hwnd);
    GetWindowRect(hwnd, &info.rect);
    GetClientRect(hwnd, &info.clientRect);
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        info.controls.push_back(readControl(hwnd, child));
    }
    if (info.isMessageBox()) info.messageText = info.control(kMessageBoxTextId)->text;
    return info;
}

std::string describeWindow(const WindowInfo& window) {
    std::string out = (window.isMessageBox() ? "message box \"" : "dialog \"") + window.caption + "\"\n";
    if (window.isMessageBox()) {
        std::string text = window.messageText;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out += "    | " + line + "\n";
            start = end + 1;
        }
        std::string buttons;
        for (const ControlInfo& c : window.controls) {
            if (!c.isButton() || !c.visible) continue;
            buttons += " [" + withoutAccessKeys(c.text) + "]" + (c.isDefaultButton() ? "*" : "");
        }
        return out + "    buttons:" + buttons + "\n";
    }
    for (const ControlInfo& c : window.controls) {
        out += "    " + std::to_string(c.id) + " " + c.className + " \"" + oneLine(c.text) + "\"";
        if (c.isDefaultButton()) out += " (default)";
        if (!c.visible) out += " (hidden)";
        if (!c.enabled) out += " (disabled)";
        out += "\n";
    }
    return out;
}

std::string describeSeen(const SeenWindow& seen) {
    std::string out = describeWindow(seen.window);
    out += "    -> " + seen.answer;
    if (seen.unexpected) out += " [unexpected]";
    if (seen.failed) out += " [failed]";
    return out + "\n";
}

std::string describeRecord(const std::vector<SeenWindow>& record) {
    std::string out;
    for (size_t i = 0; i < record.size(); ++i) {
        out += "[" + std::to_string(i + 1) + "] " + describeSeen(record[i]);
    }
    return out.empty() ? "(no windows)\n" : out;
}

// What the watcher knows of one window between polls.
struct WindowWatcher::Tracked {
    HWND hwnd = nullptr;
    std::vector<ULONG_PTR> inFlight;  // commands not yet handled by the window
    bool waiting = false;             // offered, and the responder chose to wait
    WindowInfo lastOffered;
    DWORD firstOfferedMs = 0;
};

WindowWatcher::WindowWatcher(DWORD processId, Responder responder)
    : processId_(processId), responder_(std::move(responder)), startTick_(GetTickCount()) {}

WindowWatcher::~WindowWatcher() = default;

void WindowWatcher::append(SeenWindow seen) {
    record_.push_back(seen);
    if (observer_) observer_(record_.back());
}

void WindowWatcher::poll() {
    pumpOwnQueue();
    Candidate candidate{processId_, {}};
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&candidate));
    forgetGone(candidate.found);
    // New windows are offered in the order in which they were created:
    // EnumWindows lists the newest first.
    for (auto it = candidate.found.rbegin(); it != candidate.found.rend(); ++it) {
        Tracked& tracked = track(*it);
        std::vector<ULONG_PTR>& inFlight = tracked.inFlight;
        for (size_t i = 0; i < inFlight.size();) {
            if (takeCompleted(inFlight[i])) inFlight.erase(inFlight.begin() + static_cast<long>(i));
            else ++i;
        }
        if (inFlight.empty() && IsWindowEnabled(tracked.hwnd)) offer(tracked);
    }
}

// Windows that went (or were hidden by EndDialog) are forgotten; one that
// was waiting for an answer is recorded as left alone.
void WindowWatcher::forgetGone(const std::vector<HWND>& present) {
    for (size_t i = 0; i < tracked_.size();) {
        const Tracked& t = *tracked_[i];
        if (std::find(present.begin(), present.end(), t.hwnd) != present.end()) {
            ++i;
            continue;
        }
        if (t.waiting) {
            SeenWindow seen;
            seen.window = t.lastOffered;
            seen.answer = "left alone (it closed by itself)";
            seen.atMs = t.firstOfferedMs;
            append(seen);
        }
        tracked_.erase(tracked_.begin() + static_cast<long>(i));
    }
}

WindowWatcher::Tracked& WindowWatcher::track(HWND hwnd) {
    for (const std::unique_ptr<Tracked>& known : tracked_) {
        if (known->hwnd == hwnd) return *known;
    }
    tracked_.push_back(std::make_unique<Tracked>());
    tracked_.back()->hwnd = hwnd;
    return *tracked_.back();
}

void WindowWatcher::offer(Tracked& tracked) {
    WindowInfo info = readWindow(tracked.hwnd);
    DWORD now = GetTickCount() - startTick_;
    if (!IsWindow(tracked.hwnd)) return;  // went while being read
    Response response = responder_(info);
    if (response.waits()) {
        if (!tracked.waiting) tracked.firstOfferedMs = now;
        tracked.waiting = true;
        tracked.lastOffered = info;
        return;
    }
    tracked.waiting = false;
    SeenWindow seen;
    seen.window = info;
    seen.answered = true;
    seen.unexpected = response.unexpected;
    seen.atMs = now;
    seen.failed = !perform(tracked, info, response, seen.answer);
    if (!response.note.empty()) seen.answer += " (" + response.note + ")";
    append(seen);
}

// Sends a message whose handling is awaited before the window is offered
// again.
bool WindowWatcher::sendTracked(Tracked& tracked, HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    ULONG_PTR command = nextCommand++;
    if (!SendMessageCallbackA(target, message, wParam, lParam, commandDone, command)) return false;
    tracked.inFlight.push_back(command);
    return true;
}

// Does one step as a user would; false (with `done` saying why) when a user
// could not do it either.
bool WindowWatcher::doStep(Tracked& tracked, const WindowInfo& info, const Step& step, std::string& done) {
    if (step.kind == Step::Command) {
        done = step.id == IDCANCEL ? "closed (Cancel)" : "sent command " + std::to_string(step.id);
        if (sendTracked(tracked, info.hwnd, WM_COMMAND, MAKEWPARAM(step.id, BN_CLICKED), 0)) return true;
        done = "could not send command " + std::to_string(step.id);
        return false;
    }
    bool byText = step.kind == Step::Press && !step.text.empty();
    const ControlInfo* control = byText ? info.button(step.text) : info.control(step.id);
    std::string name = byText ? "button \"" + step.text + "\"" : "control " + std::to_string(step.id);
    if (!control) {
        done = "no " + name;
        return false;
    }
    if (!control->visible || !control->enabled) {
        done = name + " is " + (control->visible ? "disabled" : "hidden");
        return false;
    }
    DWORD_PTR ignored = 0;
    if (step.kind == Step::SetText) {
        if (sameClass(control->className, "Edit") && (control->style & ES_READONLY)) {
            done = name + " is read-only";
            return false;
        }
        done = "typed \"" + step.text + "\" into " + std::to_string(control->id);
        if (SendMessageTimeoutA(control->hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.text.c_str()),
                                SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored)) {
            return true;
        }
        done = "could not type into " + name;
        return false;
    }
    if (sameClass(control->className, "Button")) {
        done = "pressed \"" + withoutAccessKeys(control->text) + "\" (" + std::to_string(control->id) + ")";
        if (sendTracked(tracked, control->hwnd, BM_CLICK, 0, 0)) return true;
        done = "could not press " + name;
        return false;
    }
    LPARAM centre = MAKELPARAM((control->rect.right - control->rect.left) / 2,
                               (control->rect.bottom - control->rect.top) / 2);
    SendMessageTimeoutA(control->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, centre, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
    done = "clicked " + name;
    if (sendTracked(tracked, control->hwnd, WM_LBUTTONUP, 0, centre)) return true;
    done = "could not click " + name;
    return false;
}

// Does the steps in order; on the first that cannot be done, cancels the
// window instead, so that it does not stay open waiting for an answer.
bool WindowWatcher::perform(Tracked& tracked, const WindowInfo& info, const Response& response, std::string& answer) {
    for (const Step& step : response.steps) {
        std::string done;
        bool ok = doStep(tracked, info, step, done);
        answer += (answer.empty() ? "" : ", then ") + done;
        if (ok) continue;
        answer += "; closed it";
        sendTracked(tracked, info.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return false;
    }
    return true;
}

std::vector<SeenWindow> WindowWatcher::finish() {
    pumpOwnQueue();
    for (const std::unique_ptr<Tracked>& t : tracked_) {
        if (!t->waiting) continue;
        SeenWindow seen;
        seen.window = t->lastOffered;
        seen.answer = "left alone";
        seen.atMs = t->firstOfferedMs;
        append(seen);
        t->waiting = false;
    }
    return record_;
}

BackgroundWatcher::BackgroundWatcher(Responder responder)
    : responder_(std::move(responder)), stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_(nullptr) {
    thread_ = CreateThread(nullptr, 0, threadMain, this, 0, nullptr);
}

BackgroundWatcher::~BackgroundWatcher() {
    stop();
    CloseHandle(stopEvent_);
}

std::vector<SeenWindow> BackgroundWatcher::stop() {
    if (thread_) {
        SetEvent(stopEvent_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return record_;
}

DWORD WINAPI BackgroundWatcher::threadMain(void* param) {
    BackgroundWatcher* self = static_cast<BackgroundWatcher*>(param);
    WindowWatcher watcher(GetCurrentProcessId(), self->responder_);
    for (;;) {
        watcher.poll();
        DWORD woke = MsgWaitForMultipleObjects(1, &self->stopEvent_, FALSE, kPollMs, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
    }
    self->record_ = watcher.finish();
    return 0;
}
