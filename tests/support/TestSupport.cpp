#include "TestSupport.h"

#include <winioctl.h>

#include <string.h>

#include <algorithm>
#include <vector>

namespace {

void removeAll(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            // A link is not entered: what it points to is some other test's.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveDirectoryA(child.c_str());
                continue;
            }
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeAll(child);
            else DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

// Wine's path converters, absent on Windows.
using ToUnix = char*(CDECL*)(LPCWSTR);
using ToDos = WCHAR*(CDECL*)(LPCSTR);

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string unixPath(ToUnix toUnix, const std::string& path) {
    char* converted = toUnix(wide(path).c_str());
    std::string result = converted ? converted : "";
    if (converted) HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

// Runs /bin/ln -s under Wine, which starts a Unix program without a handle
// to wait on: the link is waited for instead, for up to five seconds.
bool makeUnixLink(ToUnix toUnix, const std::string& link, const std::string& target, std::string* why) {
    ToDos toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    size_t slash = link.rfind('\\');
    std::string unixTarget = unixPath(toUnix, target);
    std::string unixParent = slash == std::string::npos ? "" : unixPath(toUnix, link.substr(0, slash));
    WCHAR* ln = toDos ? toDos("/bin/ln") : nullptr;
    if (!ln || unixTarget.empty() || unixParent.empty()) {
        *why = "cannot convert the paths for /bin/ln";
        if (ln) HeapFree(GetProcessHeap(), 0, ln);
        return false;
    }
    std::wstring command = L"ln -s \"" + wide(unixTarget) + L"\" \"" + wide(unixParent + "/" + link.substr(slash + 1)) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(ln, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    HeapFree(GetProcessHeap(), 0, ln);
    if (!started) {
        *why = "cannot start /bin/ln, error " + std::to_string(GetLastError());
        return false;
    }
    for (int i = 0; i < 500; ++i) {
        if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(10);
    }
    *why = "/bin/ln made no link at " + link;
    return false;
}

// Turns the empty folder `link` into a junction to `target`.
bool makeJunction(const std::string& link, const std::string& target, std::string* why) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) {
        *why = "cannot create the folder, error " + std::to_string(GetLastError());
        return false;
    }
    HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        *why = "cannot open the folder, error " + std::to_string(GetLastError());
        RemoveDirectoryA(link.c_str());
        return false;
    }
    // A mount-point reparse buffer: tag, data length, reserved, then the
    // substitute name "\??\target" and an empty print name, both UTF-16.
    std::wstring substitute = L"\\??\\" + wide(target);
    const WORD nameBytes = static_cast<WORD>(substitute.size() * 2);
    std::vector<BYTE> buffer(8 + 8 + nameBytes + 4, 0);
    auto put16 = [&](size_t at, WORD value) { memcpy(&buffer[at], &value, 2); };
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(&buffer[0], &tag, 4);
    put16(4, static_cast<WORD>(buffer.size() - 8));
    put16(8, 0);                                  // substitute name offset
    put16(10, nameBytes);                         // substitute name length
    put16(12, static_cast<WORD>(nameBytes + 2));  // print name offset
    put16(14, 0);                                 // print name length
    memcpy(&buffer[16], substitute.data(), nameBytes);
    DWORD returned = 0;
    BOOL made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                nullptr, 0, &returned, nullptr);
    DWORD code = GetLastError();
    CloseHandle(folder);
    if (made && (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    *why = made ? "the junction does not read back as a reparse point"
                : "FSCTL_SET_REPARSE_POINT failed, error " + std::to_string(code);
    RemoveDirectoryA(link.c_str());
    return false;
}

void snapshotInto(const std::string& folder, const std::string& relative, std::vector<std::string>& lines) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = folder + "\\" + name;
        std::string line = relative + name + " " + std::to_string(found.dwFileAttributes);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines.push_back(line + "\\");
            snapshotInto(path, relative + name + "\\", lines);
        } else {
            lines.push_back(line + " [" + readFile(path) + "]");
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

}  // namespace

bool makeLink(const std::string& link, const std::string& target, std::string* why) {
    ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix) return makeUnixLink(toUnix, link, target, why);
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return makeJunction(link, target, why);
    }
    // Without the privilege, only in developer mode.
    if (CreateSymbolicLinkA(link.c_str(), target.c_str(), 0x2 /* ALLOW_UNPRIVILEGED_CREATE */)) return true;
    *why = "no symbolic link to a file here, error " + std::to_string(GetLastError());
    return false;
}

std::string treeSnapshot(const std::string& folder) {
    std::vector<std::string> lines;
    snapshotInto(folder, "", lines);
    std::sort(lines.begin(), lines.end());
    std::string result;
    for (const std::string& line : lines) result += line + "\n";
    return result;
}

TempDir::TempDir() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned counter;
    for (;;) {
        path_ = std::string(temp) + "setup-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
}

TempDir::~TempDir() { removeAll(path_); }

std::string TempDir::operator/(const std::string& relative) const { return path_ + "\\" + relative; }

bool writeFile(const std::string& path, const std::string& contents) {
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == contents.size();
}

std::string readFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string contents;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0) contents.append(buffer, got);
    CloseHandle(file);
    return contents;
}
