#pragma once
// Reads back what a program left in the prefix: registry keys and values,
// files and folders, shortcuts and the user's special folders. Cleans up
// after a test (registry trees, file trees).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// --- Registry. `key` is a path below `root`; the empty name is the default value.

struct RegistryValue {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;       // the stored bytes (texts without their terminator)
    // The value as text: texts as they are, DWORDs in decimal, others in hex.
    std::string text() const;
};

// A REG_SZ or REG_EXPAND_SZ value; nullopt when the key or value is missing
// or has another type.
std::optional<std::string> readRegistryString(HKEY root, const std::string& key, const std::string& name);
// A REG_DWORD value; nullopt as above.
std::optional<DWORD> readRegistryDword(HKEY root, const std::string& key, const std::string& name);
bool registryKeyExists(HKEY root, const std::string& key);
// Names of the direct subkeys, and the values, in the registry's order.
std::vector<std::string> registrySubkeys(HKEY root, const std::string& key);
std::vector<RegistryValue> registryValues(HKEY root, const std::string& key);
// Deletes the key with all its subkeys; true when it is gone afterwards.
bool deleteRegistryTree(HKEY root, const std::string& key);
// "HKLM", "HKCU", "HKCR" or "HKU" for the predefined roots.
std::string registryRootName(HKEY root);

// --- Files and folders.

bool pathExists(const std::string& path);
bool isDirectoryPath(const std::string& path);
// INVALID_FILE_ATTRIBUTES when the path cannot be read.
DWORD fileAttributes(const std::string& path);
// The attribute bits as letters: D(irectory) R(ead-only) H(idden) S(ystem) A(rchive).
std::string attributeLetters(DWORD attributes);
std::optional<std::string> readFileContents(const std::string& path);

struct FileTimes {
    FILETIME creation;
    FILETIME lastAccess;
    FILETIME lastWrite;
};
std::optional<FileTimes> readFileTimes(const std::string& path);

struct TreeEntry {
    std::string path;         // relative to the listed folder, backslash-separated
    DWORD attributes = 0;
    unsigned long long size = 0;
    FILETIME lastWrite = {};
    bool isDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};
// Every file and folder below `folder`, depth first in the platform's
// enumeration order; empty when the folder cannot be listed.
std::vector<TreeEntry> listTree(const std::string& folder);
// Removes a file or a whole folder tree, whatever its attributes; true when
// nothing is left.
bool removeFileTree(const std::string& path);

// --- Shortcuts and special folders.

struct ShortcutInfo {
    std::string target;
    std::string workingDirectory;
    std::string arguments;
    std::string description;
};
// Loads a .lnk file through the shell's link object; nullopt when it cannot.
std::optional<ShortcutInfo> readShortcut(const std::string& path);

// SHGetSpecialFolderPathA for the current user (CSIDL_PERSONAL, CSIDL_PROGRAMS,
// CSIDL_DESKTOP, ...); empty when it fails.
std::string specialFolder(int csidl);
