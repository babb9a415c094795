#include "DeployHelpers.h"

#include <shlobj.h>

#include <algorithm>

#include "TestSupport.h"
#include "common/Format.h"

namespace {

void collect(const std::string& folder, const std::string& prefix, std::vector<std::string>& paths) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            paths.push_back(prefix + name + "\\");
            collect(folder + "\\" + name, prefix + name + "\\", paths);
        } else {
            paths.push_back(prefix + name);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

}  // namespace

std::string uniqueName(const std::string& prefix) {
    static unsigned counter;
    return prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

void setSlot(Slot slot, const std::string& text) { copyText(setupString(slot), kTextSize, text.c_str()); }

std::vector<std::string> listTree(const std::string& folder) {
    std::vector<std::string> paths;
    collect(folder, "", paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool pathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD attributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool writeFileWithAttributes(const std::string& path, const std::string& contents, DWORD attributes) {
    return writeFile(path, contents) && SetFileAttributesA(path.c_str(), attributes);
}

void removeFolder(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeFolder(child);
            else DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

std::string programFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('\\'));
}

void removeShortcuts(const std::string& progName) {
    if (progName.empty()) return;
    char folder[MAX_PATH];
    if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAMS, FALSE)) {
        removeFolder(std::string(folder) + "\\" + progName);
    }
    if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_DESKTOP, FALSE)) {
        DeleteFileA((std::string(folder) + "\\" + progName + ".lnk").c_str());
    }
}

void removeInstalledTraces(const std::string& progName, const std::string& progFile, const std::string& progDir) {
    // An empty name would designate the parent key itself.
    if (progName.empty() || progFile.empty() || progDir.empty()) return;
    const std::string windows = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\QRB\\" + progName).c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (windows + "App Paths\\" + progFile + ".exe").c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (windows + "Uninstall\\" + progDir).c_str());
    removeShortcuts(progName);
}

namespace {

void dumpInto(HKEY key, const std::string& prefix, std::vector<std::string>& lines) {
    char name[256];
    BYTE data[2048];
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        std::string line = prefix + (name[0] ? name : "@") + "=";
        if (type == REG_DWORD) line += "dword:" + std::to_string(*reinterpret_cast<DWORD*>(data));
        else if (type == REG_SZ) line += std::string(reinterpret_cast<char*>(data), dataSize ? dataSize - 1 : 0);
        else line += "type " + std::to_string(type);
        lines.push_back(line);
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child;
        lines.push_back(prefix + name + "\\");
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        dumpInto(child, prefix + name + "\\", lines);
        RegCloseKey(child);
    }
}

}  // namespace

std::vector<std::string> dumpKey(HKEY root, const std::string& path) {
    std::vector<std::string> lines;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return lines;
    dumpInto(key, "", lines);
    RegCloseKey(key);
    std::sort(lines.begin(), lines.end());
    return lines;
}

int runProgram(const std::string& program, const std::string& arguments) {
    std::string path = program.find('\\') == std::string::npos ? programFolder() + "\\" + program : program;
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    else GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
