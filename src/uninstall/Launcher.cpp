#include "uninstall/Launcher.h"

#include "uninstall/setup-uninstall.h"

namespace {

// The helper's command line: its path, the options, the program's path, all
// within the platform's 32767-unit command-line limit by a wide margin.
constexpr int kCommandSize = 3 * MAX_PATH + 160;

// Appends `text`; false when it does not fit with its terminator.
bool append(WCHAR* dst, int size, const WCHAR* text) {
    int used = lstrlenW(dst);
    int length = lstrlenW(text);
    if (used + length >= size) return false;
    for (int i = 0; i <= length; ++i) dst[used + i] = text[i];
    return true;
}

// Appends " <option> <decimal value of handle>".
bool appendHandle(WCHAR* dst, int size, const WCHAR* option, HANDLE handle) {
    WCHAR digits[24];
    int count = sizeof digits / sizeof digits[0] - 1;
    digits[count] = L'\0';
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    do {
        digits[--count] = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    } while (value != 0 && count > 0);
    return append(dst, size, L" ") && append(dst, size, option) && append(dst, size, L" ") &&
           append(dst, size, digits + count);
}

class Handle {
public:
    Handle() : handle_(nullptr) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    HANDLE* receive() { return &handle_; }
    bool isValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = nullptr) {
        if (isValid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

// A new empty file in the temp folder, its path in `path`.
bool makeTempFile(WCHAR (&path)[MAX_PATH]) {
    WCHAR folder[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH - 14) return false;  // room for the file's own name
    return GetTempFileNameW(folder, L"sun", 0, path) != 0;
}

bool writeImage(const WCHAR* path, const void* image, DWORD size) {
    Handle file;
    file.reset(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.isValid() && WriteFile(file.get(), image, size, &written, nullptr) && written == size;
}

bool copyOwnImage(const WCHAR* path) {
    WCHAR own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    return length > 0 && length < MAX_PATH && CopyFileW(own, path, FALSE);
}

// Writes the helper's file.
bool writeHelper(const WCHAR* path, const void* image, DWORD size) {
    return image ? writeImage(path, image, size) : copyOwnImage(path);
}

}  // namespace

int startRemover(const void* image, DWORD size, const WCHAR* programPath, bool quiet, HANDLE alsoWaitFor) {
    WCHAR helper[MAX_PATH];
    if (!makeTempFile(helper)) return SETUP_UNINSTALL_FAILED;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    Handle reportRead, reportWrite, self;
    if (!CreatePipe(reportRead.receive(), reportWrite.receive(), &inherited, 0) ||
        !SetHandleInformation(reportRead.get(), HANDLE_FLAG_INHERIT, 0) ||
        !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), self.receive(), SYNCHRONIZE,
                         TRUE, 0)) {
        DeleteFileW(helper);
        return SETUP_UNINSTALL_FAILED;
    }

    WCHAR command[kCommandSize];
    command[0] = L'\0';
    bool formed = append(command, kCommandSize, L"\"") && append(command, kCommandSize, helper) &&
                  append(command, kCommandSize, L"\" --remove") &&
                  (!quiet || append(command, kCommandSize, L" --quiet")) &&
                  appendHandle(command, kCommandSize, L"--report", reportWrite.get()) &&
                  appendHandle(command, kCommandSize, L"--wait", self.get()) &&
                  (!alsoWaitFor || appendHandle(command, kCommandSize, L"--wait", alsoWaitFor)) &&
                  append(command, kCommandSize, L" --program \"") && append(command, kCommandSize, programPath) &&
                  append(command, kCommandSize, L"\"");
    if (!formed) {
        DeleteFileW(helper);
        return SETUP_UNINSTALL_FAILED;
    }

    // The helper cannot delete its own file while it runs. The first try
    // keeps the file open with FILE_FLAG_DELETE_ON_CLOSE in a handle that the
    // helper inherits: the file goes when the last handle closes, at the
    // helper's end. Should the system refuse to start a program from a file
    // held so, the second try starts it plainly. Either way the helper also
    // schedules its file for deletion at the next start of the system.
    PROCESS_INFORMATION process;
    bool started = false;
    Handle keeper;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        if (!writeHelper(helper, image, size)) break;
        if (attempt == 0) {
            keeper.reset(CreateFileW(helper, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                                     OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
            if (!keeper.isValid()) continue;
        }
        STARTUPINFOW startup;
        for (DWORD i = 0; i < sizeof startup; ++i) reinterpret_cast<char*>(&startup)[i] = 0;
        startup.cb = sizeof startup;
        started = CreateProcessW(helper, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
        if (!started) keeper.reset();  // deletes the file: written again for the next try
    }
    if (!started) {
        DeleteFileW(helper);
        return SETUP_UNINSTALL_FAILED;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Only the helper holds these now: its end closes the pipe.
    reportWrite.reset();
    self.reset();
    keeper.reset();

    DWORD result = 0;
    DWORD got = 0;
    if (!ReadFile(reportRead.get(), &result, sizeof result, &got, nullptr) || got != sizeof result ||
        result > SETUP_UNINSTALL_FAILED) {
        return SETUP_UNINSTALL_FAILED;
    }
    return static_cast<int>(result);
}
