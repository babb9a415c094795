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
        progFile = uniqueName("Rem");  // short: a row needs a deep folder beside it
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

    // The manifest as setup-pack now writes it: each file's size and time
    // (here: as it is on disk now), and a copy kept for this version.
    void writeRecordedManifest(const std::vector<std::string>& names) {
        std::vector<ManifestEntry> entries;
        for (const std::string& name : names) {
            ManifestEntry entry;
            entry.name = name;
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (name.back() != '\\' && GetFileAttributesExA((installDir + "\\" + name).c_str(), GetFileExInfoStandard, &data)) {
                entry.size = data.nFileSizeLow;
                entry.lastWriteTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                      data.ftLastWriteTime.dwLowDateTime;
            }
            entries.push_back(entry);
        }
        std::string manifest, versionName, error;
        ASSERT_TRUE(buildUninstallManifest(ini, entries, manifest, versionName, error)) << error;
        ASSERT_TRUE(writeFile(installDir + "\\setup-uninstall.ini", manifest));
        ASSERT_TRUE(writeFile(installDir + "\\" + versionName, manifest));
    }

    int remove(int stopBeforeStep = -1) {
        std::wstring path = wide(program);
        RemoverRequest request;
        request.programPath = path.c_str();
        request.quiet = true;
        request.stopBeforeStep = stopBeforeStep;
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
        {"another product's entries below the extension and the type",
         [](FakeInstall& f) {
             setValue(HKEY_CLASSES_ROOT, f.extension + "\\OpenWithProgids", "Other.Document", "");
             setValue(HKEY_CLASSES_ROOT, f.extension + "\\ShellNew", "NullFile", "");
             setValue(HKEY_CLASSES_ROOT, f.type + "\\Shell\\print\\command", nullptr, "\"C:\\Other\\p.exe\" \"%1\"");
         },
         SETUP_UNINSTALL_REMOVED, {"type", "extension"}},
        {"the type key gone: the extension is not provably the install's",
         [](FakeInstall& f) { deleteRegistryTree(HKEY_CLASSES_ROOT, f.type); },
         SETUP_UNINSTALL_REMOVED, {"extension"}},
        {"the base folder stored with forward slashes",
         [](FakeInstall& f) {
             std::string typed = f.installDir;
             for (char& c : typed) c = c == '\\' ? '/' : c;
             setValue(HKEY_LOCAL_MACHINE, f.entryKey(), "InstallLocation", typed);
             setValue(HKEY_LOCAL_MACHINE, f.appPathKey(), nullptr, typed + "/" + f.progFile + ".exe");
         },
         SETUP_UNINSTALL_REMOVED, {}},
        {"the base folder stored with a doubled backslash",
         [](FakeInstall& f) {
             std::string typed = f.installDir;
             typed.insert(typed.rfind('\\'), "\\");
             setValue(HKEY_LOCAL_MACHINE, f.entryKey(), "InstallLocation", typed);
         },
         SETUP_UNINSTALL_REMOVED, {}},
        {"the base folder stored in its short form",
         [](FakeInstall& f) {
             char shortForm[MAX_PATH];
             DWORD length = GetShortPathNameA(f.installDir.c_str(), shortForm, sizeof shortForm);
             ASSERT_TRUE(length > 0 && length < sizeof shortForm);
             setValue(HKEY_LOCAL_MACHINE, f.entryKey(), "InstallLocation", shortForm);
             setValue(HKEY_LOCAL_MACHINE, f.appPathKey(), nullptr, std::string(shortForm) + "\\" + f.progFile + ".exe");
         },
         SETUP_UNINSTALL_REMOVED, {}},
        {"installed under another language's names than the user's now",
         [](FakeInstall& f) {
             const std::string installed = "ProgName=" + f.progName;
             f.ini.replace(f.ini.find(installed), installed.size(), installed + " EN");
             f.ini += "[FR]\r\nProgName=" + f.progName + "\r\n";
             f.writeManifest();
         },
         SETUP_UNINSTALL_REMOVED, {}},
        {"an edited ProgName that names another Desktop shortcut to the install",
         [](FakeInstall& f) {
             const std::string other = uniqueName("Not Ours ");
             f.outside = specialFolder(CSIDL_DESKTOP) + "\\" + other + ".lnk";
             ASSERT_EQ(SUCCEEDED(CoInitialize(nullptr)), true);
             EXPECT_EQ(1, createShellLink(f.outside.c_str(), f.program.c_str(), nullptr, nullptr));
             CoUninitialize();
             f.ini.replace(f.ini.find(f.progName), f.progName.size(), f.progName + "\\..\\" + other);
             f.writeManifest();
         },
         SETUP_UNINSTALL_REMOVED, {"vendor key", "menu link", "desktop link", "outside"}},
        {"the program in a folder too deep for the manifest's name beside it",
         [](FakeInstall& f) {
             // The folder's path leaves no room for "\setup-uninstall.ini"
             // (20 characters, so at least 240 before it), yet the program
             // fits: the search goes on upward. The program's name varies
             // in length with the process id.
             const std::string data = f.installDir + "\\Data\\";
             const size_t folderLength = 259 - 1 - (f.progFile.size() + 4);
             ASSERT_GE(folderLength, 240u) << "the program's name leaves no such folder";
             const std::string deep(folderLength - data.size(), 'd');
             ASSERT_TRUE(CreateDirectoryA((data + deep).c_str(), nullptr));
             f.program = data + deep + "\\" + f.progFile + ".exe";
             ASSERT_LT(f.program.size(), 260u);
             ASSERT_TRUE(writeFile(f.program, "the program"));
             f.listed.push_back("Data\\" + deep + "\\");
             f.listed.push_back("Data\\" + deep + "\\" + f.progFile + ".exe");
             f.writeManifest();
         },
         SETUP_UNINSTALL_REMOVED, {}},
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
        DeleteFileA(f.outside.c_str());
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
        {"a copy of the program in a subfolder, which no manifest lists",
         [](FakeInstall& f) {
             f.program = f.installDir + "\\Plugins\\B\\" + f.progFile + ".exe";
             ASSERT_TRUE(writeFile(f.program, "another product's program"));
         },
         SETUP_UNINSTALL_FAILED,
         {"folder:7", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
        // Names that a linguistic comparison takes for the listed one; the
        // file system does not.
        {"a program whose name differs from the listed one by a hyphen only",
         [](FakeInstall& f) {
             f.program = f.installDir + "\\" + f.progFile.substr(0, 3) + "-" + f.progFile.substr(3) + ".exe";
             ASSERT_TRUE(writeFile(f.program, "not the listed program"));
         },
         SETUP_UNINSTALL_FAILED,
         {"folder:5", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
        {"a program whose name differs from the listed one by a soft hyphen only",
         [](FakeInstall& f) {
             f.program = f.installDir + "\\" + f.progFile.substr(0, 3) + "\xAD" + f.progFile.substr(3) + ".exe";
             ASSERT_TRUE(writeFile(f.program, "not the listed program"));
         },
         SETUP_UNINSTALL_FAILED,
         {"folder:5", "entry", "app path", "vendor key", "type", "extension", "menu link", "desktop link"}},
        {"a program path past the path limit, inside the install folder (never cut to fit)",
         [](FakeInstall& f) {
             f.program = f.installDir + "\\Data\\" + std::string(300, 'x') + ".exe";
             // The path cut to fit would name a listed file.
             const std::string data = f.installDir + "\\Data\\";
             f.listed.push_back("Data\\" + std::string(MAX_PATH - 1 - data.size(), 'x'));
             f.writeManifest();
         },
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

// Files of every version go while they are as installed; the user's own
// and changed ones stay. A manifest that names files only is read as before.
TEST(RemoverTest, EveryVersionsFilesGoWhileTheyAreAsInstalled) {
    const struct {
        const char* what;
        bool recorded;
        bool changeReadme;
        int result;
        std::vector<std::string> left;
    } cases[] = {
        {"upgraded: the older version's plugin goes too", true, false, SETUP_UNINSTALL_REMOVED, {}},
        {"a listed file changed since the install stays", true, true, SETUP_UNINSTALL_FOLDER_KEPT, {"folder:2"}},
        {"names-only manifests: a changed file goes, as before", false, true, SETUP_UNINSTALL_REMOVED, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeInstall f;
        ASSERT_NO_FATAL_FAILURE(f.install());
        const std::string plugin = f.installDir + "\\old-plugin.dll";
        ASSERT_TRUE(writeFile(plugin, "version 1.0's plugin"));
        std::vector<std::string> older = f.listed;
        older.push_back("old-plugin.dll");
        if (c.recorded) {
            ASSERT_NO_FATAL_FAILURE(f.writeRecordedManifest(older));  // 1.0
            ASSERT_NO_FATAL_FAILURE(f.writeRecordedManifest(f.listed));  // 1.1, without the plugin
        } else {
            ASSERT_NO_FATAL_FAILURE(f.writeManifest({"old-plugin.dll"}));
        }
        if (c.changeReadme) {
            const std::string readme = f.installDir + "\\Data\\readme.txt";
            SetFileAttributesA(readme.c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(writeFile(readme, "edited by the user"));
        }
        EXPECT_EQ(c.result, f.remove());
        EXPECT_EQ(c.left, leftOf(f));
    }
}

DWORD WINAPI closeLater(void* handle) {
    Sleep(1000);
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

// A file held for a moment (a scanner, an image mapping that is going) is
// tried again for a few seconds before it counts as failed.
TEST(RemoverTest, AFileHeldForAMomentIsTriedAgain) {
    FakeInstall f;
    ASSERT_NO_FATAL_FAILURE(f.install());
    HANDLE held = CreateFileA((f.installDir + "\\Data\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    HANDLE thread = CreateThread(nullptr, 0, closeLater, held, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(SETUP_UNINSTALL_REMOVED, f.remove());
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    EXPECT_EQ(std::vector<std::string>(), leftOf(f));
}

// Nothing is removed through a link: not below a listed folder that is one,
// and not at all when the install folder itself is one. The file behind the
// link is made to match its record, so that only the link rule protects it.
TEST(RemoverTest, NothingIsRemovedThroughALink) {
    const struct {
        const char* what;
        bool folderIsLink;  // else Data is
        int result;
    } cases[] = {
        {"a listed folder that is a link", false, SETUP_UNINSTALL_FOLDER_KEPT},
        {"the install folder that is a link", true, SETUP_UNINSTALL_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeInstall f;
        ASSERT_NO_FATAL_FAILURE(f.install());
        ASSERT_NO_FATAL_FAILURE(f.writeRecordedManifest(f.listed));
        const std::string elsewhere = f.temp / "elsewhere";
        const std::string linked = c.folderIsLink ? f.installDir : f.installDir + "\\Data";
        ASSERT_TRUE(MoveFileA(linked.c_str(), elsewhere.c_str())) << GetLastError();
        std::string why;
        if (!makeLink(linked, elsewhere, &why)) GTEST_SKIP() << why;
        const std::string behind = elsewhere + (c.folderIsLink ? "\\Data\\readme.txt" : "\\readme.txt");
        EXPECT_EQ(c.result, f.remove());
        EXPECT_EQ("read me", readFileContents(behind).value_or("(missing)"));
        RemoveDirectoryA(linked.c_str());
        DeleteFileA(linked.c_str());
    }
}

// A run stopped before any one of its changes, as if the process had ended
// there, is finished by the same command run again.
TEST(RemoverTest, ARunCutShortAtAnyStepIsFinishedByRunningItAgain) {
    int steps = 0;
    for (;; ++steps) {
        SCOPED_TRACE("stopped before change " + std::to_string(steps));
        FakeInstall f;
        ASSERT_NO_FATAL_FAILURE(f.install());
        ASSERT_NO_FATAL_FAILURE(f.writeRecordedManifest(f.listed));
        int first = f.remove(steps);
        if (first != SETUP_UNINSTALL_INCOMPLETE) {
            EXPECT_EQ(SETUP_UNINSTALL_REMOVED, first);  // past the last change
            EXPECT_EQ(std::vector<std::string>(), leftOf(f));
            break;
        }
        // What is left can still run "-u": the program and its manifest.
        EXPECT_TRUE(pathExists(f.program));
        EXPECT_TRUE(pathExists(f.installDir + "\\setup-uninstall.ini"));
        EXPECT_EQ(SETUP_UNINSTALL_REMOVED, f.remove());
        EXPECT_EQ(std::vector<std::string>(), leftOf(f));
        ASSERT_LT(steps, 100) << "the run never ends";
    }
    EXPECT_GT(steps, 10);
}

// A folder that a running program holds as its working folder stays, the
// outcome says so, and the program with its manifest stays to run again.
TEST(RemoverTest, AFolderInUseKeepsWhatRunsTheUninstallAgain) {
    FakeInstall f;
    ASSERT_NO_FATAL_FAILURE(f.install());
    // A console that waits for input that never comes, in the install folder.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    PROCESS_INFORMATION process = {};
    char command[] = "cmd.exe /q /k";
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                               f.installDir.c_str(), &startup, &process));
    CloseHandle(readEnd);
    Sleep(500);
    EXPECT_EQ(SETUP_UNINSTALL_INCOMPLETE, f.remove());
    EXPECT_TRUE(pathExists(f.program));
    EXPECT_TRUE(pathExists(f.installDir + "\\setup-uninstall.ini"));
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, f.entryKey()));
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(writeEnd);
    EXPECT_EQ(SETUP_UNINSTALL_REMOVED, f.remove());
    EXPECT_EQ(std::vector<std::string>(), leftOf(f));
}

}  // namespace
