#include "ProcessRunner.h"

#include <tlhelp32.h>

#include <memory>

#include "common/Scoped.h"

namespace {

constexpr DWORD kPollMs = 30;
constexpr UINT kKilledExitCode = 0xDEAD;

struct TitleSearch {
    const std::string* title;
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK matchTitle(HWND hwnd, LPARAM param) {
    TitleSearch* search = reinterpret_cast<TitleSearch*>(param);
    if (!IsWindowVisible(hwnd)) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (search->processId != 0 && owner != search->processId) return TRUE;
    char text[512] = {};
    int length = GetWindowTextA(hwnd, text, sizeof text);
    if (length >= 0 && *search->title == std::string(text, static_cast<size_t>(length))) search->found.push_back(hwnd);
    return TRUE;
}

// A process started by the watched program (or by one of its children).
struct Child {
    DWORD id = 0;
    std::string name;  // its image file name, without the folder
    HANDLE process = nullptr;
    std::unique_ptr<WindowWatcher> watcher;
    ~Child() {
        if (process) CloseHandle(process);
    }
};

// The process that owns the desktop window. Wine starts it (explorer.exe
// /desktop) from the first process that needs a desktop and keeps it while
// any program runs: its parent may be the watched program (its first window
// came first), or a program that has ended and whose process id Wine gave
// to the watched program or one of its children later. Either way it is
// the platform's and never ends with the program. (On Windows the desktop
// belongs to a system process, never a child.)
DWORD desktopProcessId() {
    DWORD id = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &id);
    return id;
}

// When the process was created, in the platform's file-time units; 0 when
// it cannot be told (it has ended, or may not be opened).
ULONGLONG creationTime(DWORD processId) {
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    FILETIME created, exited, kernel, user;
    if (!process.isValid() || !GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// True when `id` cannot be a child of `parentId`: it was created before it.
// A process keeps the id of its parent after the parent has ended, and Wine
// gives ended processes' ids to new ones: a service started when the prefix
// was booted may name as its parent an id that the program now has.
bool olderThanParent(DWORD id, DWORD parentId) {
    ULONGLONG created = creationTime(id);
    ULONGLONG parentCreated = creationTime(parentId);
    return created != 0 && parentCreated != 0 && created < parentCreated;
}

// Adds the processes whose parent is the program or a known child; true when
// one was found.
bool findChildren(DWORD programId, std::vector<std::unique_ptr<Child>>& children, const Responder& responder,
                  const std::function<void(const SeenWindow&)>& onRecord) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const DWORD desktop = desktopProcessId();
    bool found = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    auto known = [&](DWORD id) {
        if (id == programId) return true;
        for (const auto& child : children) {
            if (child->id == id) return true;
        }
        return false;
    };
    // Repeated until a pass adds nothing, so that grandchildren listed before
    // their parent are found too.
    for (bool added = true; added;) {
        added = false;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            // A process listed while it starts may have no name yet.
            for (const auto& child : children) {
                if (child->id == entry.th32ProcessID && child->name.empty()) child->name = entry.szExeFile;
            }
            if (known(entry.th32ProcessID) || !known(entry.th32ParentProcessID)) continue;
            // Wine starts its menu builder when shortcuts or file types
            // change; the test prefixes disable it, so it ends at once with
            // STATUS_DLL_NOT_FOUND. It is the platform's, not one of the
            // program's own processes. Ending so early, it is often listed
            // before it has a name: then it is recorded, nameless.
            if (lstrcmpiA(entry.szExeFile, "winemenubuilder.exe") == 0) continue;
            if (entry.th32ProcessID == desktop) continue;
            if (olderThanParent(entry.th32ProcessID, entry.th32ParentProcessID)) continue;
            auto child = std::make_unique<Child>();
            child->id = entry.th32ProcessID;
            child->name = entry.szExeFile;
            child->process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, child->id);
            child->watcher = std::make_unique<WindowWatcher>(child->id, responder);
            if (onRecord) child->watcher->onRecord(onRecord);
            children.push_back(std::move(child));
            added = found = true;
        }
    }
    CloseHandle(snapshot);
    return found;
}

// The file name of the process's image, without the folder; empty when
// unknown.
std::string imageName(HANDLE process) {
    char path[MAX_PATH];
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process, 0, path, &size)) return "";
    std::string name(path, size);
    size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool childrenEnded(const std::vector<std::unique_ptr<Child>>& children) {
    for (const auto& child : children) {
        if (child->process && WaitForSingleObject(child->process, 0) == WAIT_TIMEOUT) return false;
    }
    return true;
}

}  // namespace

size_t RunResult::problemCount() const {
    size_t count = 0;
    for (const SeenWindow& seen : windows) count += (seen.unexpected || seen.failed) ? 1 : 0;
    return count;
}

std::string RunResult::describe() const {
    if (!started) return "the program did not start (error " + std::to_string(startError) + ")\n";
    std::string out = describeRecord(windows);
    for (size_t i = 0; i < childNames.size() && i < childExitCodes.size(); ++i) {
        out += "child " + childNames[i] + ": exit code " + std::to_string(childExitCodes[i]) + "\n";
    }
    if (timedOut) return out + "timed out after " + std::to_string(elapsedMs) + " ms; killed\n";
    return out + "exit code " + std::to_string(exitCode) + " after " + std::to_string(elapsedMs) + " ms\n";
}

StartedProgram::~StartedProgram() {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) kill();
    if (process_) CloseHandle(process_);
    if (job_) CloseHandle(job_);
}

bool StartedProgram::start(const std::string& commandLine, const std::string& currentDir) {
    std::string command = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const char* folder = currentDir.empty() ? nullptr : currentDir.c_str();
    // Under Wine a start very rarely fails with ERROR_INTERNAL_ERROR while
    // the next attempt succeeds; a program that truly cannot start fails
    // every attempt with the same error.
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, folder,
                           &startup, &info)) {
            break;
        }
        startError_ = GetLastError();
        if (startError_ != ERROR_INTERNAL_ERROR || attempt == 2) return false;
        Sleep(200);
        command = commandLine;
    }
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    // The job takes in the program's own children too; without it only the
    // program itself could be killed.
    job_ = CreateJobObjectA(nullptr, nullptr);
    if (job_ && !AssignProcessToJobObject(job_, process_)) {
        CloseHandle(job_);
        job_ = nullptr;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return true;
}

bool StartedProgram::waitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(process_, exitCode);
    return true;
}

void StartedProgram::kill() {
    if (!process_) return;
    if (!job_ || !TerminateJobObject(job_, kKilledExitCode)) TerminateProcess(process_, kKilledExitCode);
    WaitForSingleObject(process_, 10000);
}

RunResult runProgram(const RunOptions& options) {
    RunResult result;
    StartedProgram program;
    if (!program.start(options.commandLine, options.currentDir)) {
        result.startError = program.startError();
        return result;
    }
    result.started = true;
    result.processId = program.processId();

    Responder responder = options.responder ? options.responder : [](const WindowInfo&) { return Response::wait(); };
    WindowWatcher watcher(program.processId(), responder);
    if (options.onRecord) watcher.onRecord(options.onRecord);
    std::vector<std::unique_ptr<Child>> children;
    DWORD start = GetTickCount();
    for (;;) {
        watcher.poll();
        bool newChild = options.followChildren &&
                        findChildren(program.processId(), children, responder, options.onRecord);
        for (const auto& child : children) child->watcher->poll();
        // The end: the program and every child it started have ended, and a
        // look after that found no new one.
        if (program.waitForExit(0, &result.exitCode) && !newChild && childrenEnded(children)) break;
        if (GetTickCount() - start >= options.timeoutMs) {
            result.timedOut = true;
            program.kill();
            break;
        }
        HANDLE process = program.process();
        bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;  // then only children are left
        MsgWaitForMultipleObjects(ended ? 0 : 1, &process, FALSE, kPollMs, QS_ALLINPUT);
    }
    result.elapsedMs = GetTickCount() - start;
    program.waitForExit(0, &result.exitCode);
    result.windows = watcher.finish();
    for (const auto& child : children) {
        for (SeenWindow& seen : child->watcher->finish()) result.windows.push_back(std::move(seen));
        DWORD code = kKilledExitCode;
        if (child->process) GetExitCodeProcess(child->process, &code);
        result.childExitCodes.push_back(code);
        if (child->name.empty() && child->process) child->name = imageName(child->process);
        result.childNames.push_back(child->name);
    }
    return result;
}

std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') { ++backslashes; quoted += c; continue; }
        if (c == '"') quoted.append(backslashes + 1, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

std::string ownFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return ".";
    std::string folder(path, length);
    size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

std::vector<HWND> findTopLevelWindows(const std::string& title, DWORD processId) {
    TitleSearch search{&title, processId, {}};
    EnumWindows(matchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForTopLevelWindow(const std::string& title, DWORD timeoutMs, DWORD processId) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = findTopLevelWindows(title, processId);
        if (!found.empty()) return found.front();
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(100);
    }
}

CloseOutcome closeTopLevelWindow(HWND hwnd, DWORD waitMs) {
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD start = GetTickCount();
    while (IsWindow(hwnd) && GetTickCount() - start < waitMs) Sleep(50);
    if (!IsWindow(hwnd)) return CloseOutcome::Closed;
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process.isValid() || !TerminateProcess(process.get(), kKilledExitCode)) return CloseOutcome::Failed;
    WaitForSingleObject(process.get(), 5000);
    return CloseOutcome::Terminated;
}
