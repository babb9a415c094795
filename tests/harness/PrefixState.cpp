#include "PrefixState.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/Scoped.h"

namespace {

class ScopedKey {
public:
    ScopedKey(HKEY root, const std::string& path, REGSAM view) : key_(nullptr) {
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~ScopedKey() { if (key_) RegCloseKey(key_); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_;
};

std::optional<RegistryValue> readValue(HKEY root, const std::string& key, const std::string& name, REGSAM view) {
    ScopedKey opened(root, key, view);
    if (!opened.get()) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::string data(size, '\0');
    if (size != 0 && RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        while (!data.empty() && data.back() == '\0') data.pop_back();
    }
    RegistryValue value;
    value.name = name;
    value.type = type;
    value.data = data;
    return value;
}

// A COM apartment for the calling thread while the object lives.
class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() { if (initialised_) CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

void listInto(const std::string& folder, const std::string& prefix, std::vector<TreeEntry>& entries) {
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find.isValid()) return;
    do {
        std::string name = found.cFileName;
        bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (directory && (name == "." || name == "..")) continue;
        TreeEntry entry;
        entry.path = prefix + name;
        entry.attributes = found.dwFileAttributes;
        entry.size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        entry.lastWrite = found.ftLastWriteTime;
        entries.push_back(entry);
        if (directory) listInto(folder + "\\" + name, entry.path + "\\", entries);
    } while (FindNextFileA(find.get(), &found));
}

}  // namespace

std::string RegistryValue::text() const {
    if (type == REG_SZ || type == REG_EXPAND_SZ) return data;
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        CopyMemory(&number, data.data(), sizeof number);
        return std::to_string(number);
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : data) {
        if (!hex.empty()) hex += ' ';
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::optional<std::string> readRegistryString(HKEY root, const std::string& key, const std::string& name,
                                              REGSAM view) {
    std::optional<RegistryValue> value = readValue(root, key, name, view);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
    return value->data;
}

std::optional<DWORD> readRegistryDword(HKEY root, const std::string& key, const std::string& name) {
    std::optional<RegistryValue> value = readValue(root, key, name, 0);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    CopyMemory(&number, value->data.data(), sizeof number);
    return number;
}

bool registryKeyExists(HKEY root, const std::string& key, REGSAM view) {
    return ScopedKey(root, key, view).get() != nullptr;
}

std::vector<std::string> registrySubkeys(HKEY root, const std::string& key, REGSAM view) {
    std::vector<std::string> names;
    ScopedKey opened(root, key, view);
    if (!opened.get()) return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<RegistryValue> registryValues(HKEY root, const std::string& key, REGSAM view) {
    std::vector<RegistryValue> values;
    ScopedKey opened(root, key, view);
    if (!opened.get()) return values;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD length = sizeof name;
        if (RegEnumValueA(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::optional<RegistryValue> value = readValue(root, key, std::string(name, length), view);
        if (value) values.push_back(*value);
    }
    return values;
}

bool deleteRegistryTree(HKEY root, const std::string& key) {
    SHDeleteKeyA(root, key.c_str());
    return !registryKeyExists(root, key);
}

std::string registryRootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_USERS) return "HKU";
    return "?";
}

bool pathExists(const std::string& path) { return fileAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool isDirectoryPath(const std::string& path) {
    DWORD attributes = fileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD fileAttributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

std::string attributeLetters(DWORD attributes) {
    std::string letters;
    if (attributes == INVALID_FILE_ATTRIBUTES) return "missing";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) letters += 'D';
    if (attributes & FILE_ATTRIBUTE_READONLY) letters += 'R';
    if (attributes & FILE_ATTRIBUTE_HIDDEN) letters += 'H';
    if (attributes & FILE_ATTRIBUTE_SYSTEM) letters += 'S';
    if (attributes & FILE_ATTRIBUTE_ARCHIVE) letters += 'A';
    return letters;
}

std::optional<std::string> readFileContents(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.isValid()) return std::nullopt;
    std::string contents;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) return contents;
        contents.append(buffer, got);
    }
}

std::optional<FileTimes> readFileTimes(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.isValid()) return std::nullopt;
    FileTimes times;
    if (!GetFileTime(file.get(), &times.creation, &times.lastAccess, &times.lastWrite)) return std::nullopt;
    return times;
}

std::vector<TreeEntry> listTree(const std::string& folder) {
    std::vector<TreeEntry> entries;
    listInto(folder, "", entries);
    return entries;
}

bool removeFileTree(const std::string& path) {
    DWORD attributes = fileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(path.c_str()) != 0;
    WIN32_FIND_DATAA found;
    {
        ScopedFind find(FindFirstFileA((path + "\\*").c_str(), &found));
        if (find.isValid()) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..") removeFileTree(path + "\\" + name);
            } while (FindNextFileA(find.get(), &found));
        }
    }
    return RemoveDirectoryA(path.c_str()) != 0;
}

std::optional<ShortcutInfo> readShortcut(const std::string& path) {
    ComScope com;
    ScopedComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.receive()))) {
        return std::nullopt;
    }
    ScopedComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) return std::nullopt;
    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH)) return std::nullopt;
    if (FAILED(file->Load(widePath, STGM_READ))) return std::nullopt;
    ShortcutInfo info;
    char text[INFOTIPSIZE] = {};
    if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) info.target = text;
    text[0] = '\0';
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) info.workingDirectory = text;
    text[0] = '\0';
    if (SUCCEEDED(link->GetArguments(text, INFOTIPSIZE))) info.arguments = text;
    text[0] = '\0';
    if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE))) info.description = text;
    return info;
}

bool runsUnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string programFilesFolder() { return runsUnderWow64() ? "C:\\Program Files (x86)" : "C:\\Program Files"; }

REGSAM ownRegistryView() { return sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

REGSAM otherRegistryView() {
    if (sizeof(void*) == 8) return KEY_WOW64_32KEY;
    return runsUnderWow64() ? KEY_WOW64_64KEY : 0;
}

std::string specialFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return "";
    return path;
}
