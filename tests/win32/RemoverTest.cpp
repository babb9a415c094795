// The removal's rules, in process and quiet: an install made in a temp
// folder by the installer's own registration and shortcuts, with the manifest
// the packer writes, then changed the way other programs or the user change
// things, then removed.
#include "uninstall/Remover.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "DeployHelpers.h"
#include "ProcessRunner.h"
#include "TestSupport.h"
#include "UninstallManifest.h"
#include "common/Format.h"
#include "registration/Registration.h"
#include "registration/Shortcuts.h"
#include "uninstall/setup-uninstall.h"

namespace {

const std::string kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kAppPathsRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

std::wstring wide(const std::string& text) {
    std::wstring result(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                                     static_cast<int>(result.size()));
    result.resize(static_cast<size_t>(length > 0 ? length : 0));
    return result;
}

void setValue(HKEY root, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

// One program installed into temp\<ProgDir>: its program file, a subfolder
// with a file, the manifest, every registry entry and both shortcuts.
struct FakeInstall {
    FakeInstall() {
        memset(&installState, 0, sizeof installState);
        progName = uniqueName("Remover Test ");
        progFile = uniqueName("RemTest");
        progDir = uniqueName("RemDir");
        type = uniqueName("RemTest.Document.");
        extension = "." + uniqueName("rm");
        installDir = temp / progDir;
        program = installDir + "\\" + progFile + ".exe";
        outside = temp / "outside.txt";
        setSlot(Slot::ProgName, progName);
        setSlot(Slot::ProgFile, progFile);
        setSlot(Slot::ProgDir, progDir);
        setSlot(Slot::ExtDesc, "Remover test document");
        copyText(fileTypeValue(FileTypeValue::Type), kTextSize, type.c_str());
        copyText(fileTypeValue(FileTypeValue::Extension), kTextSize, extension.c_str());
        copyText(fileTypeValue(FileTypeValue::Open), kTextSize, ("\"%s\\" + progFile + ".exe\" \"%%1\"").c_str());
        copyText(fileTypeValue(FileTypeValue::Icon), kTextSize, ("%s\\" + progFile + ".exe,0").c_str());
        copyText(installState.installDir, kPathSize, installDir.c_str());
        copyText(installState.programPath, kPathSize, program.c_str());
        ini = "[Settings]\r\nProgName=" + progName + "\r\nProgFile=" + progFile + "\r\nProgDir=" + progDir +
              "\r\n[FileType]\r\nType=" + type + "\r\nExtension=" + extension + "\r\n";
        listed = {"Data\\", "Data\\readme.txt", progFile + ".exe"};
    }
    ~FakeInstall() {
        removeInstalledTraces(progName, progFile, progDir);
        deleteRegistryTree(HKEY_CLASSES_ROOT, extension);
        deleteRegistryTree(HKEY_CLASSES_ROOT, type);
    }

    void install() {
        ASSERT_TRUE(writeFile(program, "the program"));
        ASSERT_TRUE(writeFileWithAttributes(installDir + "\\Data\\readme.txt", "read me", FILE_ATTRIBUTE_READONLY));
        writeManifest();
        registerProgram();
        createShortcuts();
        ASSERT_TRUE(registryKeyExists(HKEY_CLASSES_ROOT, type));
    }
    void writeManifest(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> names = listed;
        names.insert(names.end(), extra.begin(), extra.end());
        std::string manifest, error;
        ASSERT_TRUE(buildUninstallManifest(ini, names, manifest, error)) << error;
        ASSERT_TRUE(writeFile(installDir + "\\setup-uninstall.ini", manifest));
    }

    int remove() {
        std::wstring path = wide(program);
        RemoverRequest request;
        request.programPath = path.c_str();
        request.quiet = true;
        return runRemover(request);
    }

    std::string menuLink() const { return specialFolder(CSIDL_PROGRAMS) + "\\" + progName + "\\" + progName + ".lnk"; }
    std::string desktopLink() const { return specialFolder(CSIDL_DESKTOP) + "\\" + progName + ".lnk"; }
    std::string entryKey() const { return kUninstallRoot + progDir; }
    std::string appPathKey() const { return kAppPathsRoot + progFile + ".exe"; }
    std::string vendorKey() const { return "SOFTWARE\\QRB\\" + progName; }

    TempDir temp;
    std::string progName, progFile, progDir, type, extension, installDir, program, outside, ini;
    std::vector<std::string> listed;
};

// What is left of the install, one word per thing.
std::vector<std::string> leftOf(const FakeInstall& f) {
    std::vector<std::string> left;
    if (pathExists(f.installDir)) left.push_back("folder:" + std::to_string(treePaths(f.installDir).size()));
    if (registryKeyExists(HKEY_LOCAL_MACHINE, f.entryKey())) left.push_back("entry");
    if (registryKeyExists(HKEY_LOCAL_MACHINE, f.appPathKey())) left.push_back("app path");
    if (registryKeyExists(HKEY_LOCAL_MACHINE, f.vendorKey())) left.push_back("vendor key");
    if (registryKeyExists(HKEY_CLASSES_ROOT, f.type)) left.push_back("type");
    if (registryKeyExists(HKEY_CLASSES_ROOT, f.extension)) left.push_back("extension");
    if (pathExists(f.menuLink())) left.push_back("menu link");
    if (pathExists(f.desktopLink())) left.push_back("desktop link");
    if (pathExists(f.outside)) left.push_back("outside");
    return left;
}

TEST(RemoverTest, RemovesOnlyWhatStillBelongsToTheInstall) {
    const struct {
        const char* what;
        std::function<void(FakeInstall&)> change;
        int result;
        std::vector<std::string> left;
    } cases[] = {
        {"nothing changed", [](FakeInstall&) {}, SETUP_UNINSTALL_REMOVED, {}},
        {"names in the list that lead out of the folder",
         [](FakeInstall& f) {
             ASSERT_TRUE(writeFile(f.outside, "not the install's"));
             f.writeManifest({"..\\outside.txt", f.outside, "Data\\..\\..\\outside.txt"});
         },
         SETUP_UNINSTALL_REMOVED, {"outside"}},
        {"a folder customised as the installer does it",
         [](FakeInstall& f) {
             const std::string folder = f.installDir + "\\Data";
             ASSERT_TRUE(writeFileWithAttributes(folder + "\\Desktop.INI", "[.ShellClassInfo]\r\nIconIndex=0\r\n",
                                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
             PathMakeSystemFolderA(folder.c_str());
             SetFileAttributesA(folder.c_str(), GetFileAttributesA(folder.c_str()) | FILE_ATTRIBUTE_READONLY);
             f.writeManifest({"Data\\Desktop.INI"});
         },
         SETUP_UNINSTALL_REMOVED, {}},
        {"a file of the user's",
         [](FakeInstall& f) { ASSERT_TRUE(writeFile(f.installDir + "\\Data\\mine.txt", "mine")); },
         SETUP_UNINSTALL_FOLDER_KEPT, {"folder:2"}},
        {"App Paths taken by another folder",
         [](FakeInstall& f) { setValue(HKEY_LOCAL_MACHINE, f.appPathKey(), nullptr, "C:\\Other\\x.exe"); },
         SETUP_UNINSTALL_REMOVED, {"app path"}},
        {"the type's command taken by another program",
         [](FakeInstall& f) {
             setValue(HKEY_CLASSES_ROOT, f.type + "\\Shell\\open\\command", nullptr, "\"C:\\Other\\x.exe\" \"%1\"");
         },
         SETUP_UNINSTALL_REMOVED, {"type", "extension"}},
        {"the extension given to another type",
         [](FakeInstall& f) { setValue(HKEY_CLASSES_ROOT, f.extension, nullptr, "Other.Document"); },
         SETUP_UNINSTALL_REMOVED, {"extension"}},
        {"another install of the same name shares the vendor key",
         [](FakeInstall& f) { setValue(HKEY_LOCAL_MACHINE, f.entryKey() + "-other", "DisplayName", f.progName); },
         SETUP_UNINSTALL_REMOVED, {"vendor key"}},
        {"an edited ProgName that leads to another Programs-menu folder",
         [](FakeInstall& f) {
             const std::string other = uniqueName("Not Ours ");
             f.outside = specialFolder(CSIDL_PROGRAMS) + "\\" + other;
             ASSERT_TRUE(CreateDirectoryA(f.outside.c_str(), nullptr));  // empty, and not the install's
             f.ini.replace(f.ini.find(f.progName), f.progName.size(), f.progName + "\\..\\" + other);
             f.writeManifest();
         },
         SETUP_UNINSTALL_REMOVED, {"vendor key", "menu link", "desktop link", "outside"}},
        {"a shortcut pointing elsewhere",
         [](FakeInstall& f) {
             ASSERT_EQ(SUCCEEDED(CoInitialize(nullptr)), true);
             EXPECT_EQ(1, createShellLink(f.desktopLink().c_str(), "C:\\Other\\x.exe", nullptr, nullptr));
             CoUninitialize();
         },
         SETUP_UNINSTALL_REMOVED, {"desktop link"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeInstall f;
        ASSERT_NO_FATAL_FAILURE(f.install());
        ASSERT_NO_FATAL_FAILURE(c.change(f));
        EXPECT_EQ(c.result, f.remove());
        EXPECT_EQ(c.left, leftOf(f));
        deleteRegistryTree(HKEY_LOCAL_MACHINE, f.entryKey() + "-other");
        RemoveDirectoryA(f.outside.c_str());
    }
}

// A second run finds nothing; a manifest that is not the program's, or none
// at all, makes the run fail without touching anything.
TEST(RemoverTest, RunsThatFindNoInstallOfTheirOwn) {
    const struct {
        const char* what;
        std::function<void(FakeInstall&)> change;
        int result;
        std::vector<std::string> left;
    } cases[] = {
        {"after a completed run, the program and its list restored",
         [](FakeInstall& f) {
             ASSERT_EQ(SETUP_UNINSTALL_REMOVED, f.remove());
             ASSERT_TRUE(writeFile(f.program, "the program"));
             f.writeManifest();
         },
         SETUP_UNINSTALL_NOTHING, {"folder:2"}},
        {"no manifest",
         [](FakeInstall& f) { ASSERT_TRUE(DeleteFileA((f.installDir + "\\setup-uninstall.ini").c_str())); },
         SETUP_UNINSTALL_FAILED,
         {"folder:3", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
        {"a manifest that neither lists the program nor is named by the entry",
         [](FakeInstall& f) {
             f.listed = {"Data\\", "Data\\readme.txt"};
             f.writeManifest();
             setValue(HKEY_LOCAL_MACHINE, f.entryKey(), "InstallLocation", "C:\\Other");
         },
         SETUP_UNINSTALL_FAILED,
         {"folder:4", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
        {"the uninstall entry names another folder: this install is not the entry's",
         [](FakeInstall& f) { setValue(HKEY_LOCAL_MACHINE, f.entryKey(), "InstallLocation", "C:\\Other"); },
         SETUP_UNINSTALL_FAILED,
         {"folder:4", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
        {"a program path past the path limit, inside the install folder (never cut to fit)",
         [](FakeInstall& f) { f.program = f.installDir + "\\Data\\" + std::string(300, 'x') + ".exe"; },
         SETUP_UNINSTALL_FAILED,
         {"folder:4", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeInstall f;
        ASSERT_NO_FATAL_FAILURE(f.install());
        ASSERT_NO_FATAL_FAILURE(c.change(f));
        EXPECT_EQ(c.result, f.remove());
        EXPECT_EQ(c.left, leftOf(f));
    }
}

}  // namespace
