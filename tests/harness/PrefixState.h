#pragma once
// Reads back what a program left in the prefix: registry keys and values,
// files and folders, shortcuts and the user's special folders. Cleans up
// after a test (registry trees, file trees).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// --- Registry. `key` is a path below `root`; the empty name is the default value.
// `view` is 0 (the calling program's own view) or KEY_WOW64_32KEY or
// KEY_WOW64_64KEY, to read one view of the registry of 64-bit Windows.

struct RegistryValue {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;       // the stored bytes (texts without their terminator)
    // The value as text: texts as they are, DWORDs in decimal, others in hex.
    std::string text() const;
};

// A REG_SZ or REG_EXPAND_SZ value; nullopt when the key or value is missing
// or has another type.
std::optional<std::string> readRegistryString(HKEY root, const std::string& key, const std::string& name,
                                              REGSAM view = 0);
// A REG_DWORD value; nullopt as above.
std::optional<DWORD> readRegistryDword(HKEY root, const std::string& key, const std::string& name);
bool registryKeyExists(HKEY root, const std::string& key, REGSAM view = 0);
// Names of the direct subkeys, and the values, in the registry's order.
std::vector<std::string> registrySubkeys(HKEY root, const std::string& key, REGSAM view = 0);
std::vector<RegistryValue> registryValues(HKEY root, const std::string& key, REGSAM view = 0);
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

// True when this test is a 32-bit program on 64-bit Windows (WOW64).
bool runsUnderWow64();
// The program-files folder a program of this build is given (ProgramFilesDir
// of its registry view): "C:\Program Files (x86)" under WOW64, otherwise
// "C:\Program Files".
std::string programFilesFolder();
// The registry view that programs of this build write (KEY_WOW64_32KEY for
// the 32-bit build, KEY_WOW64_64KEY for the 64-bit one), and the other view
// of 64-bit Windows: 0 on 32-bit Windows, which has only one.
REGSAM ownRegistryView();
REGSAM otherRegistryView();

// SHGetSpecialFolderPathA for the current user (CSIDL_PERSONAL, CSIDL_PROGRAMS,
// CSIDL_DESKTOP, ...); empty when it fails.
std::string specialFolder(int csidl);
