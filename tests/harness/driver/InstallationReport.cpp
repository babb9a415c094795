#include "InstallationReport.h"

#include <windows.h>
#include <shlobj.h>

#include "CustomInstaller.h"
#include "PrefixState.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kVendorKey[] = "SOFTWARE\\QRB\\";

// The names an installation is known by, read from the setup INI.
struct Names {
    std::string progName, progFile, progDir, type, extension;
};

std::string profileString(const std::string& file, const char* section, const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, file.c_str());
    return value;
}

// The setup INI is read the way the installer reads it: through the
// platform's profile reader, from a temporary file.
bool readNames(const std::string& installer, Names& names, std::string& problem) {
    std::optional<std::string> ini = readDataResource(installer, kSetupIniResource);
    if (!ini) { problem = "no setup INI (RCDATA 130) in " + installer; return false; }
    char folder[MAX_PATH];
    char file[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder || !GetTempFileNameA(folder, "sdr", 0, file)) {
        problem = "no temporary file";
        return false;
    }
    HANDLE handle = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = handle != INVALID_HANDLE_VALUE &&
              WriteFile(handle, ini->data(), static_cast<DWORD>(ini->size()), &written, nullptr) && written == ini->size();
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    auto setting = [&](const char* key) {
        std::string value = profileString(file, "Settings", key);
        return value.empty() ? profileString(file, "EN", key) : value;
    };
    if (ok) {
        names.progName = setting("ProgName");
        names.progFile = setting("ProgFile");
        names.progDir = setting("ProgDir");
        names.type = profileString(file, "FileType", "Type");
        names.extension = profileString(file, "FileType", "Extension");
    }
    DeleteFileA(file);
    if (!ok) problem = "could not write the setup INI to a temporary file";
    return ok;
}

std::string indent(int level) { return std::string(static_cast<size_t>(level) * 4, ' '); }

std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// Lists a folder tree with sizes and attributes; Desktop.INI files with their
// contents. Returns the number of files.
size_t reportFolder(const std::string& title, const std::string& folder, std::string& out) {
    if (!isDirectoryPath(folder)) {
        out += title + ": " + folder + " (missing)\n";
        return 0;
    }
    out += title + ": " + folder + " [" + attributeLetters(fileAttributes(folder)) + "]\n";
    size_t files = 0;
    for (const TreeEntry& entry : listTree(folder)) {
        out += indent(1) + entry.path + (entry.isDirectory() ? "\\" : "") + " [" + attributeLetters(entry.attributes) + "]";
        if (entry.isDirectory()) { out += "\n"; continue; }
        ++files;
        out += " " + std::to_string(entry.size) + " bytes\n";
        std::string name = entry.path.substr(entry.path.find_last_of('\\') + 1);
        if (lstrcmpiA(name.c_str(), "Desktop.INI") != 0) continue;
        std::string contents = readFileContents(folder + "\\" + entry.path).value_or("");
        size_t start = 0;
        while (start < contents.size()) {
            size_t end = contents.find('\n', start);
            if (end == std::string::npos) end = contents.size();
            std::string line = contents.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) out += indent(2) + "| " + line + "\n";
            start = end + 1;
        }
    }
    if (files == 0) out += indent(1) + "(no files)\n";
    return files;
}

void reportKeyTree(HKEY root, const std::string& key, int level, std::string& out) {
    for (const RegistryValue& value : registryValues(root, key)) {
        out += indent(level) + (value.name.empty() ? "(default)" : value.name) + " = ";
        std::string text = oneLine(value.text());
        if (value.type == REG_DWORD) out += text + " (DWORD)";
        else out += text.empty() ? "(empty)" : text;
        out += "\n";
    }
    for (const std::string& subkey : registrySubkeys(root, key)) {
        out += indent(level) + subkey + "\\\n";
        reportKeyTree(root, key + "\\" + subkey, level + 1, out);
    }
}

// Reports one key with everything below it; true when it exists.
bool reportKey(HKEY root, const std::string& key, std::string& out) {
    out += indent(1) + registryRootName(root) + "\\" + key;
    if (!registryKeyExists(root, key)) {
        out += " (missing)\n";
        return false;
    }
    out += "\n";
    reportKeyTree(root, key, 2, out);
    return true;
}

bool reportShortcut(const std::string& path, std::string& out) {
    out += indent(1) + path;
    std::optional<ShortcutInfo> link = pathExists(path) ? readShortcut(path) : std::nullopt;
    if (!link) {
        out += pathExists(path) ? " (unreadable)\n" : " (missing)\n";
        return false;
    }
    out += "\n" + indent(2) + "target: " + link->target + "\n" + indent(2) + "working directory: " +
           link->workingDirectory + "\n" + indent(2) + "arguments: " + link->arguments + "\n" + indent(2) +
           "description: " + link->description + "\n";
    return true;
}

std::string installDirectory(const Names& names) {
    std::optional<std::string> location =
        readRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey + names.progDir, "InstallLocation");
    if (location) return *location;
    std::string base = readRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                          "ProgramFilesDir").value_or("C:\\Program Files");
    return base + "\\" + names.progDir;
}

std::string resolveProgram(const std::string& program) {
    char path[MAX_PATH];
    DWORD length = SearchPathA(nullptr, program.c_str(), ".exe", sizeof path, path, nullptr);
    return length == 0 || length >= sizeof path ? program : std::string(path, length);
}

}  // namespace

std::string installationReport(const std::string& installer) {
    std::string file = resolveProgram(installer);
    Names names;
    std::string problem;
    if (!readNames(file, names, problem)) return "No report: " + problem + ".\n";

    std::string out = "\nWhat " + names.progName + " left behind (names from the setup INI of " + file + "):\n";
    size_t programFiles = reportFolder("Program folder", installDirectory(names), out);
    size_t documents = reportFolder("Documents folder", specialFolder(CSIDL_PERSONAL) + "\\" + names.progDir, out);

    out += "Registry:\n";
    int entries = 0;
    int expected = 3;
    entries += reportKey(HKEY_LOCAL_MACHINE, kVendorKey + names.progName, out) ? 1 : 0;
    entries += reportKey(HKEY_LOCAL_MACHINE, kAppPathsKey + names.progFile + ".exe", out) ? 1 : 0;
    entries += reportKey(HKEY_LOCAL_MACHINE, kUninstallKey + names.progDir, out) ? 1 : 0;
    if (!names.extension.empty()) {
        ++expected;
        bool extension = reportKey(HKEY_CLASSES_ROOT, names.extension, out);
        bool type = reportKey(HKEY_CLASSES_ROOT, names.type, out);
        entries += extension && type ? 1 : 0;
    }

    out += "Shortcuts:\n";
    int shortcuts = 0;
    std::string link = names.progName + ".lnk";
    shortcuts += reportShortcut(specialFolder(CSIDL_PROGRAMS) + "\\" + names.progName + "\\" + link, out) ? 1 : 0;
    shortcuts += reportShortcut(specialFolder(CSIDL_DESKTOP) + "\\" + link, out) ? 1 : 0;

    out += "Summary: " + std::to_string(programFiles) + " program file(s), " + std::to_string(documents) +
           " document file(s), registry entries " + std::to_string(entries) + " of " + std::to_string(expected) +
           ", shortcuts " + std::to_string(shortcuts) + " of 2\n";
    return out;
}
