#include "registration/Registration.h"

#include <windows.h>

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Scoped.h"
#include "registration/RegistryKey.h"
#include "registration/RegistryText.h"

namespace {

using GetFileVersionInfoSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// GetProcAddress's result as the function it is; the detour through
// void (*)() is the conversion the compiler accepts between function types.
template <class Function>
Function procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A library from the system directory only. The installer usually runs from
// a downloads folder, and a DLL that is not one of the system's known DLLs
// would otherwise be looked for there first.
HMODULE loadSystemLibrary(const char* name) {
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module) return module;
    // Systems without the search flags refuse them: name the file in full.
    char path[kPathSize];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path) return nullptr;
    if (!appendText(path, sizeof path, "\\") || !appendText(path, sizeof path, name)) return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The version library's three functions, loaded for one use. Not linked, so
// that nothing loads it before the DLL search is restricted.
class VersionLibrary {
public:
    VersionLibrary() : module_(loadSystemLibrary("version.dll")) {
        if (!module_) return;
        getSize = procedure<GetFileVersionInfoSizeFn>(module_, "GetFileVersionInfoSizeA");
        getInfo = procedure<GetFileVersionInfoFn>(module_, "GetFileVersionInfoA");
        query = procedure<VerQueryValueFn>(module_, "VerQueryValueA");
    }
    ~VersionLibrary() {
        if (module_) FreeLibrary(module_);
    }
    VersionLibrary(const VersionLibrary&) = delete;
    VersionLibrary& operator=(const VersionLibrary&) = delete;

    bool isLoaded() const { return getSize && getInfo && query; }

    GetFileVersionInfoSizeFn getSize = nullptr;
    GetFileVersionInfoFn getInfo = nullptr;
    VerQueryValueFn query = nullptr;

private:
    HMODULE module_;
};

const char kAppPathKeyFormat[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s.exe";
const char kVendorRoot[] = "SOFTWARE\\QRB";

// Creates a key (with its missing parents) and closes it again.
void createKey(HKEY root, const char* path) {
    RegistryKey key;
    key.create(root, path, nullptr, 0, kKeyAllAccess, nullptr, nullptr);
}

// Deletes `name` below the key `parent` of `root` (null: the root itself)
// with everything under it; nothing when the parent cannot be opened.
void deleteKeyTree(HKEY root, const char* parent, const char* name) {
    RegistryKey key;
    if (key.open(root, parent, kKeyAllAccess) == ERROR_SUCCESS) key.deleteSubTree(name);
}

// Creates the key, then opens it and sets its default value.
void writeDefaultValue(HKEY root, const char* path, const char* text) {
    createKey(root, path);
    RegistryKey key;
    key.open(root, path, kKeyAllAccess);
    key.setStringValue(text, nullptr);
}

// As writeDefaultValue, with a value made from the configured `format` and
// the install directory; a value that does not fit is not written.
void writeFormattedDefaultValue(HKEY root, const char* path, const char* format) {
    createKey(root, path);
    char value[kTextSize];
    const char* installDir = installState.installDir;
    if (!formatDataText(value, sizeof value, format, &installDir, 1)) return;
    RegistryKey key;
    key.open(root, path, kKeyAllAccess);
    key.setStringValue(value, nullptr);
}

// The vendor key holds the installed version only: the key of ProgName is
// cleared of earlier versions first.
void registerVendorKey(const char* version) {
    char path[kTextSize];
    const char* progName = setupString(Slot::ProgName);
    if (!formatText(path, sizeof path, "%s\\%s\\%s", kVendorRoot, progName, version)) return;
    deleteKeyTree(HKEY_LOCAL_MACHINE, kVendorRoot, progName);
    createKey(HKEY_LOCAL_MACHINE, path);
}

void registerAppPath() {
    char path[kTextSize];
    if (!formatText(path, sizeof path, kAppPathKeyFormat, setupString(Slot::ProgFile))) return;
    RegistryKey key;
    key.create(HKEY_LOCAL_MACHINE, path, nullptr, 0, kKeyAllAccess, nullptr, nullptr);
    key.setStringValue(installState.programPath, nullptr);
    key.setStringValue(installState.installDir, "Path");
}

// The uninstall command is the program itself with "-u"; its path is quoted
// so that a folder with spaces cannot make it start another program.
void registerUninstallEntry(const char* version, unsigned major, unsigned minor) {
    char path[kTextSize];
    char command[2 * kPathSize];
    if (!formatText(path, sizeof path, kUninstallKeyFormat, setupString(Slot::ProgDir)) ||
        !formatText(command, sizeof command, "\"%s\" -u", installState.programPath)) {
        return;
    }
    RegistryKey key;
    key.create(HKEY_LOCAL_MACHINE, path, nullptr, 0, kKeyAllAccess, nullptr, nullptr);
    key.setStringValue(setupString(Slot::ProgName), "DisplayName");
    key.setStringValue(version, "DisplayVersion");
    key.setStringValue(installState.installDir, "InstallLocation");
    key.setStringValue(command, "UninstallString");
    key.setDwordValue(major, "VersionMajor");
    key.setDwordValue(minor, "VersionMinor");
}

// The extension and the type hold only what is written here: both are
// deleted with everything below them first, foreign verbs included.
void registerFileType() {
    const char* type = fileTypeValue(FileTypeValue::Type);
    const char* extension = fileTypeValue(FileTypeValue::Extension);
    deleteKeyTree(HKEY_CLASSES_ROOT, nullptr, extension);
    deleteKeyTree(HKEY_CLASSES_ROOT, nullptr, type);
    writeDefaultValue(HKEY_CLASSES_ROOT, extension, type);
    writeDefaultValue(HKEY_CLASSES_ROOT, type, setupString(Slot::ExtDesc));

    char path[kTextSize];
    if (formatText(path, sizeof path, "%s\\DefaultIcon", type)) {
        writeFormattedDefaultValue(HKEY_CLASSES_ROOT, path, fileTypeValue(FileTypeValue::Icon));
    }
    if (formatText(path, sizeof path, "%s\\Shell", type)) createKey(HKEY_CLASSES_ROOT, path);
    if (formatText(path, sizeof path, "%s\\Shell\\open", type)) createKey(HKEY_CLASSES_ROOT, path);
    if (formatText(path, sizeof path, "%s\\Shell\\open\\command", type)) {
        writeFormattedDefaultValue(HKEY_CLASSES_ROOT, path, fileTypeValue(FileTypeValue::Open));
    }
}

}  // namespace

int readVersionInfo(const char* path, char* versionText, unsigned* major, unsigned* minor) {
    if (versionText) versionText[0] = '\0';
    VersionLibrary library;
    if (!library.isLoaded()) return 0;
    DWORD handle = 0;
    DWORD size = library.getSize(path, &handle);
    if (size == 0 || handle != 0) return 0;
    // The block is as large as the file's version information says.
    HeapBuffer block(size);
    if (!block.get() || !library.getInfo(path, 0, size, block.get())) return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!library.query(block.get(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info) {
        return 0;
    }
    if (versionText) {
        formatText(versionText, kPathSize, "%u.%u", static_cast<unsigned>(HIWORD(info->dwFileVersionMS)),
                   static_cast<unsigned>(LOWORD(info->dwFileVersionMS)));
    }
    *major = HIWORD(info->dwProductVersionMS);
    *minor = LOWORD(info->dwProductVersionMS);
    return 1;
}

void registerProgram() {
    // A program without a version record is registered as version 0.0.
    unsigned major = 0;
    unsigned minor = 0;
    char version[kPathSize];
    readVersionInfo(installState.programPath, version, &major, &minor);

    registerVendorKey(version);
    registerAppPath();
    registerUninstallEntry(version, major, minor);
    if (fileTypeValue(FileTypeValue::Extension)[0]) registerFileType();
}
