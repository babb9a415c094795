#include "DeployHelpers.h"

#include <shlobj.h>

#include <algorithm>

#include "TestSupport.h"
#include "common/Format.h"

namespace {

void dumpInto(HKEY root, const std::string& key, const std::string& prefix, std::vector<std::string>& lines) {
    for (const RegistryValue& value : registryValues(root, key)) {
        std::string text = value.type == REG_DWORD ? "dword:" + value.text() : value.text();
        lines.push_back(prefix + (value.name.empty() ? "@" : value.name) + "=" + text);
    }
    for (const std::string& name : registrySubkeys(root, key)) {
        lines.push_back(prefix + name + "\\");
        dumpInto(root, key + "\\" + name, prefix + name + "\\", lines);
    }
}

}  // namespace

std::string uniqueName(const std::string& prefix) {
    static unsigned counter;
    return prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

void setSlot(Slot slot, const std::string& text) { copyText(setupString(slot), kTextSize, text.c_str()); }

std::vector<std::string> treePaths(const std::string& folder) {
    std::vector<std::string> paths;
    for (const TreeEntry& entry : listTree(folder)) paths.push_back(entry.path + (entry.isDirectory() ? "\\" : ""));
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool writeFileWithAttributes(const std::string& path, const std::string& contents, DWORD attributes) {
    return writeFile(path, contents) && SetFileAttributesA(path.c_str(), attributes);
}

std::vector<std::string> dumpKey(HKEY root, const std::string& path) {
    std::vector<std::string> lines;
    dumpInto(root, path, "", lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

void removeShortcuts(const std::string& progName) {
    if (progName.empty()) return;
    removeFileTree(specialFolder(CSIDL_PROGRAMS) + "\\" + progName);
    removeFileTree(specialFolder(CSIDL_DESKTOP) + "\\" + progName + ".lnk");
}

void removeInstalledTraces(const std::string& progName, const std::string& progFile, const std::string& progDir) {
    // An empty name would designate the parent key itself.
    if (progName.empty() || progFile.empty() || progDir.empty()) return;
    const std::string windows = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    deleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\" + progName);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, windows + "App Paths\\" + progFile + ".exe");
    deleteRegistryTree(HKEY_LOCAL_MACHINE, windows + "Uninstall\\" + progDir);
    removeShortcuts(progName);
}

std::vector<std::string> messageTexts(const std::vector<SeenWindow>& seen) {
    std::vector<std::string> texts;
    for (const SeenWindow& window : seen) texts.push_back(window.window.messageText);
    return texts;
}
