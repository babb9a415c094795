// The uninstaller end to end: a program installed by setup.exe -s, its
// uninstall entry's command run as the system runs it, the windows answered,
// and the prefix checked afterwards. Both forms: the library inside the
// program, and setup-uninstall.exe started by a plain C program.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "InstallerRun.h"
#include "PrefixState.h"
#include "ProcessRunner.h"
#include "TestSupport.h"
#include "UninstallManifest.h"
#include "common/Scoped.h"

namespace {

constexpr DWORD kRemoved = 0, kFolderKept = 1, kNothing = 2, kIncomplete = 4, kFailed = 5;
// The stored time of every installed file.
const FileTime64 kStamp = fileTimeFromUnix(1700000000, 0);

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kAppPathsRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kOtherProduct[] = "SOFTWARE\\QRB\\Another Product\\3.0";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

enum class Form { Library, Helper };

// The helpers' folders in the temp folder ("sun" and 16 digits, each
// holding "sun-remover.exe").
std::set<std::string> helperFilesInTemp() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::set<std::string> found;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((std::string(temp) + "sun*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return found;
    do found.insert(std::string(temp) + entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return found;
}

// Files the platform deletes at its next start (MoveFileEx with
// MOVEFILE_DELAY_UNTIL_REBOOT): "\??\" paths, each followed by an empty
// target, in one multi-string value.
bool deletedAtNextStart(const std::string& path) {
    std::vector<RegistryValue> values = registryValues(HKEY_LOCAL_MACHINE, kSessionManager);
    for (const RegistryValue& value : values) {
        if (value.name != "PendingFileRenameOperations") continue;
        std::string wanted = "\\??\\" + path;
        for (size_t at = 0; at < value.data.size();) {
            size_t end = value.data.find('\0', at);
            if (end == std::string::npos) end = value.data.size();
            if (_stricmp(value.data.substr(at, end - at).c_str(), wanted.c_str()) == 0) return true;
            at = end + 1;
        }
    }
    return false;
}

// True when the platform starts a program from a file held open with
// FILE_FLAG_DELETE_ON_CLOSE, as the launcher's first try does (Wine does).
// Where it refuses, the launcher starts the helper plainly, and the helper's
// file goes only at the next start of the system.
bool startsFromFileHeldForDeletion() {
    TempDir dir;
    const std::string copy = dir / "held.exe";
    EXPECT_TRUE(CopyFileA((ownFolder() + "\\start-uninstall.exe").c_str(), copy.c_str(), FALSE));
    ScopedHandle held(CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    EXPECT_TRUE(held.isValid());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string command = quoteArgument(copy);
    bool started = CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                  nullptr, &startup, &process);
    if (started) {
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return started;
}

// One program installed by a custom setup.exe: names of its own, a program
// that uses the library (a copy of Sample Notes) or the plain C starter with
// setup-uninstall.exe beside it, a subfolder, a document, a file type, and
// the manifest the packer writes.
class Installed {
public:
    using Files = std::vector<std::pair<std::string, std::string>>;
    // `extra`: more files of the Program tree (name, contents).
    Installed(Form form, const ProgramNames& programNames, const Files& extra = {})
        : names(programNames), form_(form) {
        installDir = programFilesFolder() + "\\" + names.progDir;
        program = installDir + "\\" + names.progFile + ".exe";
        // Named after ProgName, which versions of a program share.
        std::string base = names.progName;
        base.erase(std::remove(base.begin(), base.end(), ' '), base.end());
        type = base + ".Document";
        extension = "." + base;
        ini = setupIni(names, "", "[FileType]\r\nType=" + type + "\r\nExtension=" + extension +
                                      "\r\nOpen=\"\"%s\\" + names.progFile + ".exe\" \"%%1\"\"\r\n");
        std::string programBytes = readFile(ownFolder() + (form == Form::Library ? "\\SampleNotes.exe"
                                                                                 : "\\start-uninstall.exe"));
        // The Program tree and its manifest as setup-pack makes them: each
        // file with its size and stored time, the manifest twice.
        Files files = {{"Data\\readme.txt", "read me"},
                                                                  {names.progFile + ".exe", programBytes}};
        if (form == Form::Helper) files.push_back({"setup-uninstall.exe", readFile(ownFolder() + "\\setup-uninstall.exe")});
        for (const auto& file : extra) files.push_back(file);
        std::vector<ManifestEntry> listed = {{"Data\\"}};
        for (const auto& file : files) listed.push_back({file.first, file.second.size(), kStamp});
        std::string manifest, versionName, error;
        EXPECT_TRUE(buildUninstallManifest(ini, listed, manifest, versionName, error)) << error;
        ArchiveWriter writer;
        writer.addDirectory("Documents");
        writer.addFile("Documents\\Note.txt", "the user's notes");
        writer.addDirectory("Program");
        writer.addDirectory("Program\\Data");
        for (const auto& file : files) writer.addFile("Program\\" + file.first, file.second, kAttributeArchive, kStamp);
        writer.addFile("Program\\" + versionName, manifest);
        writer.addFile("Program\\setup-uninstall.ini", manifest);
        installer = std::make_unique<InstallerRun>(ini, writer.build());
    }
    ~Installed() { clean(); }

    // setup.exe -s; the program it starts at the end is closed again.
    void install() {
        InstallerOutcome outcome = installer->run("-s", [](const WindowInfo& window) {
            return window.isMessageBox() ? Response::press(IDOK) : Response::close().markUnexpected("no dialog");
        });
        ASSERT_EQ(1u, outcome.run.exitCode) << outcome.run.describe();
        if (form_ == Form::Library) closeStartedProgram();
        ASSERT_TRUE(pathExists(program));
    }

    // The uninstall entry's command, split as the system does: a quoted path
    // and the arguments after it.
    std::string uninstallCommand(const std::string& extra = "") {
        std::string command = readRegistryString(HKEY_LOCAL_MACHINE, kUninstallRoot + names.progDir,
                                                  "UninstallString").value_or("");
        EXPECT_EQ(0u, command.find('"')) << command;
        size_t close = command.find('"', 1);
        EXPECT_NE(std::string::npos, close) << command;
        std::string path = command.substr(1, close - 1);
        std::string arguments = command.substr(close + 1);
        arguments.erase(0, arguments.find_first_not_of(' '));
        EXPECT_EQ(program, path);
        EXPECT_EQ("-u", arguments);
        return quoteArgument(path) + " " + arguments + extra;
    }

    RunResult uninstall(const std::string& command, Responder responder) {
        return runUninstallCommand(command, std::move(responder));
    }

    // The names as the installer formed them, where the INI's ProgDir is a
    // format.
    void formedAs(const std::string& progDir) {
        names.progDir = progDir;
        installDir = programFilesFolder() + "\\" + progDir;
        program = installDir + "\\" + names.progFile + ".exe";
    }

    std::string documents() const { return specialFolder(CSIDL_PERSONAL) + "\\" + names.progDir; }
    std::string menuGroup() const { return specialFolder(CSIDL_PROGRAMS) + "\\" + names.progName; }
    std::string desktopLink() const { return specialFolder(CSIDL_DESKTOP) + "\\" + names.progName + ".lnk"; }
    std::string vendorKey() const { return "SOFTWARE\\QRB\\" + names.progName; }
    std::string appPathKey() const { return kAppPathsRoot + names.progFile + ".exe"; }

    // Nothing of the install is left but the documents (and `userFile`).
    void expectRemoved(const std::string& userFile = "") {
        EXPECT_FALSE(pathExists(program));
        if (userFile.empty()) {
            EXPECT_FALSE(pathExists(installDir));
        } else {
            std::vector<TreeEntry> left = listTree(installDir);
            ASSERT_EQ(1u, left.size());
            EXPECT_EQ(userFile, left[0].path);
        }
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallRoot + names.progDir));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, appPathKey()));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, vendorKey()));
        EXPECT_FALSE(pathExists(menuGroup()));
        EXPECT_FALSE(pathExists(desktopLink()));
        EXPECT_EQ("the user's notes", readFileContents(documents() + "\\Note.txt").value_or("(missing)"));
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, kOtherProduct));
    }

    // Everything the install made is still there.
    void expectIntact() {
        EXPECT_TRUE(pathExists(program));
        EXPECT_TRUE(pathExists(installDir + "\\Data\\readme.txt"));
        EXPECT_TRUE(pathExists(installDir + "\\setup-uninstall.ini"));
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallRoot + names.progDir));
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, appPathKey()));
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, vendorKey()));
        EXPECT_TRUE(registryKeyExists(HKEY_CLASSES_ROOT, type));
        EXPECT_TRUE(pathExists(desktopLink()));
    }

    void closeStartedProgram() {
        DWORD start = GetTickCount();
        do {
            for (HWND window : findTopLevelWindows("Sample Notes")) {
                DWORD id = 0;
                GetWindowThreadProcessId(window, &id);
                HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
                char image[MAX_PATH] = "";
                DWORD size = sizeof image;
                bool ours = process && QueryFullProcessImageNameA(process, 0, image, &size) &&
                            _stricmp(image, program.c_str()) == 0;
                if (process) CloseHandle(process);
                if (ours) {
                    closeTopLevelWindow(window, 5000);
                    return;
                }
            }
            Sleep(50);
        } while (GetTickCount() - start < 10000);
    }

    void clean() {
        removeFileTree(installDir);
        removeFileTree(documents());
        removeFileTree(menuGroup());
        removeFileTree(desktopLink());
        deleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallRoot + names.progDir);
        deleteRegistryTree(HKEY_LOCAL_MACHINE, appPathKey());
        deleteRegistryTree(HKEY_LOCAL_MACHINE, vendorKey());
        deleteRegistryTree(HKEY_CLASSES_ROOT, type);
        deleteRegistryTree(HKEY_CLASSES_ROOT, extension);
    }

    ProgramNames names;
    std::string installDir, program, type, extension, ini;
    std::unique_ptr<InstallerRun> installer;

private:
    Form form_;
};

// The exit code of the removal helper (the one child that runs from
// "sun-remover.exe" in the temp folder), or a failure when not exactly one
// child was that. Other processes may appear among the children: the
// platform starts its own when file types change.
::testing::AssertionResult helperExitCode(const RunResult& run, DWORD& code) {
    int found = 0;
    for (size_t i = 0; i < run.childNames.size() && i < run.childExitCodes.size(); ++i) {
        if (_stricmp(run.childNames[i].c_str(), "sun-remover.exe") != 0) continue;
        code = run.childExitCodes[i];
        ++found;
    }
    if (found == 1) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << found << " removal helpers among the children\n" << run.describe();
}

// The message boxes of a run, as "caption|text".
std::vector<std::string> messages(const RunResult& run) {
    std::vector<std::string> shown;
    for (const SeenWindow& seen : run.windows) {
        if (seen.window.isMessageBox()) shown.push_back(seen.window.caption + "|" + seen.window.messageText);
    }
    return shown;
}

class UninstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        createRegistryKey(kOtherProduct);
        tempBefore = helperFilesInTemp();
    }
    void TearDown() override { deleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\Another Product"); }

    // How many helper files are in the temp folder that were not there
    // before the test.
    size_t newHelperFiles() const {
        size_t count = 0;
        for (const std::string& file : helperFilesInTemp()) count += tempBefore.count(file) ? 0 : 1;
        return count;
    }

    static void createRegistryKey(const std::string& path) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        RegCloseKey(key);
    }

    // Nothing of the helper stays in the temp folder once it has ended: its
    // file was held for deletion. Only where the platform refuses to start
    // a program from a file held so may it stay until the platform deletes
    // it at its next start.
    void expectTempClean() {
        // The platform's answer does not change within a run: asked once.
        static const bool held = startsFromFileHeldForDeletion();
        // The helper's file and folder go as its last handles close, which
        // Wine may finish a moment after the helper's end is seen (measured
        // under load, in the 64-bit prefix): a leftover gets that moment.
        for (int wait = 0; held && wait < 30 && newHelperFiles(); ++wait) Sleep(100);
        for (const std::string& file : helperFilesInTemp()) {
            if (tempBefore.count(file)) continue;
            if (held) ADD_FAILURE() << file << " stays in the temp folder after the helper ended";
            else EXPECT_TRUE(deletedAtNextStart(file)) << file << " stays in the temp folder";
        }
    }

    std::set<std::string> tempBefore;
};

// Each form, asked or quiet; a file of the user's keeps the folder and is
// named; a file type that another program took over stays.
TEST_F(UninstallTest, RemovesWhatTheInstallMadeAndNothingElse) {
    const struct {
        const char* what;
        Form form;
        bool quiet;
        bool userFile;
        bool typeTakenOver;
    } cases[] = {
        {"library, asked", Form::Library, false, true, true},
        {"library, quiet", Form::Library, true, false, false},
        {"helper, asked", Form::Helper, false, false, true},
        {"helper, quiet", Form::Helper, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Installed installed(c.form, ProgramNames("Unin"));
        ASSERT_NO_FATAL_FAILURE(installed.install());
        EXPECT_TRUE(registryKeyExists(HKEY_CLASSES_ROOT, installed.type));
        EXPECT_TRUE(pathExists(installed.desktopLink()));
        const std::string userFile = "notes.cfg";
        if (c.userFile) {
            ASSERT_TRUE(writeFile(installed.installDir + "\\" + userFile, "the program's settings"));
        }
        const std::string otherCommand = "\"C:\\Other\\other.exe\" \"%1\"";
        if (c.typeTakenOver) {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, (installed.type + "\\Shell\\open\\command").c_str(),
                                                   0, KEY_ALL_ACCESS, &key));
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(otherCommand.c_str()),
                           static_cast<DWORD>(otherCommand.size() + 1));
            RegCloseKey(key);
        }

        RunResult run = installed.uninstall(installed.uninstallCommand(c.quiet ? " -s" : ""), confirmAndAcknowledge);
        ASSERT_FALSE(run.timedOut) << run.describe();
        DWORD expected = c.userFile ? kFolderKept : kRemoved;
        EXPECT_EQ(expected, run.exitCode) << run.describe();
        DWORD helperCode = 0;
        ASSERT_TRUE(helperExitCode(run, helperCode));
        EXPECT_EQ(expected, helperCode) << run.describe();
        EXPECT_EQ(0u, run.problemCount()) << run.describe();
        const std::string caption = "Uninstall " + installed.names.progName + "|";
        std::vector<std::string> expectedMessages;
        if (!c.quiet) {
            expectedMessages = {caption + "Do you want to remove " + installed.names.progName +
                                " from this computer?\r\n\r\nYour documents are kept."};
            expectedMessages.push_back(
                c.userFile ? caption + installed.names.progName +
                                 " has been removed. Its folder was kept because it holds files that the "
                                 "installation did not put there (files you or the program made):\n\n" +
                                 installed.installDir + "\n\n" + installed.installDir + "\\" + userFile +
                                 ": added after the installation"
                           : caption + installed.names.progName + " has been removed from this computer.");
        }
        EXPECT_EQ(expectedMessages, messages(run));

        installed.expectRemoved(c.userFile ? userFile : "");
        EXPECT_EQ(c.typeTakenOver, registryKeyExists(HKEY_CLASSES_ROOT, installed.type));
        EXPECT_EQ(c.typeTakenOver, registryKeyExists(HKEY_CLASSES_ROOT, installed.extension));
        if (c.typeTakenOver) {
            EXPECT_EQ(otherCommand, readRegistryString(HKEY_CLASSES_ROOT, installed.type + "\\Shell\\open\\command", "")
                                        .value_or(""));
        }
        expectTempClean();
    }
}

// The example itself: setup.exe -s, then its uninstall entry, answered in
// the example's own English texts.
TEST_F(UninstallTest, TheExampleRemovesItselfWithItsOwnTexts) {
    const std::string installDir = programFilesFolder() + "\\SampleNotes";
    const std::string program = installDir + "\\SampleNotes.exe";
    ASSERT_EQ(1u, installExampleUnattended());
    // As the system's list of programs reads it: from the installer's view.
    std::string command = readRegistryString(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "SampleNotes",
                                             "UninstallString", ownRegistryView()).value_or("");
    ASSERT_EQ("\"" + program + "\" -u", command);

    RunResult run = runUninstallCommand(command, confirmAndAcknowledge);
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(kRemoved, run.exitCode) << run.describe();
    EXPECT_EQ(std::vector<std::string>(
                  {"Uninstall Sample Notes|Do you want to remove Sample Notes from this computer?\r\n\r\n"
                   "Your documents are kept.",
                   "Uninstall Sample Notes|Sample Notes has been removed from this computer."}),
              messages(run));
    EXPECT_FALSE(pathExists(installDir));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "SampleNotes"));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, std::string(kAppPathsRoot) + "SampleNotes.exe"));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\Sample Notes"));
    EXPECT_FALSE(registryKeyExists(HKEY_CLASSES_ROOT, ".snote"));
    EXPECT_FALSE(registryKeyExists(HKEY_CLASSES_ROOT, "SampleNotes.Document"));
    EXPECT_FALSE(pathExists(specialFolder(CSIDL_PROGRAMS) + "\\Sample Notes"));
    EXPECT_FALSE(pathExists(specialFolder(CSIDL_DESKTOP) + "\\Sample Notes.lnk"));
    EXPECT_TRUE(pathExists(specialFolder(CSIDL_PERSONAL) + "\\SampleNotes\\Welcome.snote"));
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, kOtherProduct));
    expectTempClean();
    removeFileTree(specialFolder(CSIDL_PERSONAL) + "\\SampleNotes");
}

// Run again: after a completed uninstall there is nothing to remove; an
// uninstall cut short by a file held open keeps its entry and finishes when
// run again; installing after an uninstall is a fresh install.
TEST_F(UninstallTest, RunAgainFinishesOrSaysThereIsNothingLeft) {
    {
        SCOPED_TRACE("twice");
        Installed installed(Form::Library, ProgramNames("Twice"));
        ASSERT_NO_FATAL_FAILURE(installed.install());
        const std::string program = readFile(installed.program);
        const std::string manifest = readFile(installed.installDir + "\\setup-uninstall.ini");
        RunResult first = installed.uninstall(installed.uninstallCommand(" -s"), confirmAndAcknowledge);
        ASSERT_EQ(kRemoved, first.exitCode) << first.describe();
        // The program and its manifest back from a backup: nothing else is.
        ASSERT_TRUE(writeFile(installed.program, program));
        ASSERT_TRUE(writeFile(installed.installDir + "\\setup-uninstall.ini", manifest));
        RunResult second = installed.uninstall(quoteArgument(installed.program) + " -u", confirmAndAcknowledge);
        EXPECT_EQ(kNothing, second.exitCode) << second.describe();
        EXPECT_EQ(std::vector<std::string>({"Uninstall " + installed.names.progName + "|" +
                                            installed.names.progName +
                                            " is not installed here any more: there is nothing to remove."}),
                  messages(second));
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, kOtherProduct));
    }
    {
        SCOPED_TRACE("interrupted, then run again");
        Installed installed(Form::Library, ProgramNames("Again"));
        ASSERT_NO_FATAL_FAILURE(installed.install());
        std::string command = installed.uninstallCommand();
        // Held open by this process: it cannot go, the user cancels the retry.
        HANDLE held = CreateFileA((installed.installDir + "\\Data\\readme.txt").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        RunResult cut = installed.uninstall(command, confirmAndAcknowledge);
        CloseHandle(held);
        DWORD helperCode = 0;
        ASSERT_TRUE(helperExitCode(cut, helperCode));
        EXPECT_EQ(kIncomplete, helperCode) << cut.describe();
        std::vector<std::string> shown = messages(cut);
        ASSERT_EQ(3u, shown.size()) << cut.describe();
        EXPECT_NE(std::string::npos, shown[1].find("A file could not be removed.")) << shown[1];
        EXPECT_NE(std::string::npos, shown[1].find(installed.installDir + "\\Data\\readme.txt")) << shown[1];
        EXPECT_NE(std::string::npos, shown[2].find("has not been removed completely")) << shown[2];
        // The outcome names what stayed and why.
        EXPECT_NE(std::string::npos,
                  shown[2].find(installed.installDir + "\\Data\\readme.txt: in use by a running program"))
            << shown[2];
        // Its entry and the program stay, so the system's list can run it again.
        EXPECT_TRUE(pathExists(installed.program));
        RunResult again = installed.uninstall(installed.uninstallCommand(), confirmAndAcknowledge);
        EXPECT_EQ(kRemoved, again.exitCode) << again.describe();
        installed.expectRemoved();
    }
    {
        SCOPED_TRACE("installed again");
        Installed installed(Form::Library, ProgramNames("Fresh"));
        ASSERT_NO_FATAL_FAILURE(installed.install());
        RunResult run = installed.uninstall(installed.uninstallCommand(" -s"), confirmAndAcknowledge);
        ASSERT_EQ(kRemoved, run.exitCode) << run.describe();
        ASSERT_NO_FATAL_FAILURE(installed.install());
        EXPECT_EQ(installed.installDir, readRegistryString(HKEY_LOCAL_MACHINE, kUninstallRoot + installed.names.progDir,
                                                           "InstallLocation").value_or(""));
        std::vector<std::string> tree;
        for (const TreeEntry& entry : listTree(installed.installDir)) {
            // The copy of the manifest kept for this version: its name is
            // made from its contents.
            bool version = entry.path.size() == 36 && entry.path.compare(0, 16, "setup-uninstall.") == 0;
            tree.push_back(version ? "setup-uninstall.<version>.ini" : entry.path);
        }
        std::sort(tree.begin(), tree.end());
        EXPECT_EQ(std::vector<std::string>({"Data", "Data\\readme.txt", installed.names.progFile + ".exe",
                                            "setup-uninstall.<version>.ini", "setup-uninstall.ini"}),
                  tree);
        RunResult last = installed.uninstall(installed.uninstallCommand(" -s"), confirmAndAcknowledge);
        EXPECT_EQ(kRemoved, last.exitCode) << last.describe();
    }
    expectTempClean();
}

// An older version's "-u" after a newer version was installed: the newer
// install's entries go only when they are this program's (same ProgDir, so
// the same folder); another ProgDir keeps its entry, App Paths and the
// vendor key they share.
TEST_F(UninstallTest, AnOlderVersionRemovesOnlyEntriesOfItsOwnFolder) {
    for (bool sameDir : {true, false}) {
        SCOPED_TRACE(sameDir ? "same ProgDir" : "another ProgDir");
        ProgramNames olderNames("Older");
        ProgramNames newerNames = olderNames;
        newerNames.version = "1.3";
        // The same folder keeps the older program only when the newer one
        // has another file name.
        if (sameDir) newerNames.progFile += "N";
        else newerNames.progDir += "N";
        Installed older(Form::Library, olderNames);
        Installed newer(Form::Library, newerNames);
        ASSERT_NO_FATAL_FAILURE(older.install());
        ASSERT_NO_FATAL_FAILURE(newer.install());
        RunResult run = older.uninstall(quoteArgument(older.program) + " -u -s", confirmAndAcknowledge);
        ASSERT_FALSE(run.timedOut) << run.describe();
        EXPECT_EQ(kRemoved, run.exitCode) << run.describe();
        EXPECT_FALSE(pathExists(older.installDir));
        EXPECT_EQ(!sameDir, registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallRoot + newerNames.progDir));
        EXPECT_EQ(!sameDir, registryKeyExists(HKEY_LOCAL_MACHINE, newer.appPathKey()));
        EXPECT_EQ(!sameDir, registryKeyExists(HKEY_LOCAL_MACHINE, newer.vendorKey()));
        EXPECT_EQ(!sameDir, registryKeyExists(HKEY_CLASSES_ROOT, newer.type));
        EXPECT_EQ(!sameDir, pathExists(newer.program));
    }
    expectTempClean();
}

// A program that the install's manifests do not list (a copy of the helper in
// a subfolder, another product's) and an install folder that is a link are
// refused, and nothing is removed.
TEST_F(UninstallTest, RefusesWhatIsNotThisProgramsInstall) {
    {
        SCOPED_TRACE("a copy of setup-uninstall.exe in a subfolder of another install");
        Installed installed(Form::Helper, ProgramNames("Owner"));
        ASSERT_NO_FATAL_FAILURE(installed.install());
        const std::string plugin = installed.installDir + "\\Plugins\\B";
        ASSERT_TRUE(CreateDirectoryA((installed.installDir + "\\Plugins").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(plugin.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((installed.installDir + "\\setup-uninstall.exe").c_str(),
                              (plugin + "\\setup-uninstall.exe").c_str(), TRUE));
        RunResult run = installed.uninstall(quoteArgument(plugin + "\\setup-uninstall.exe") + " -u -s",
                                            confirmAndAcknowledge);
        ASSERT_FALSE(run.timedOut) << run.describe();
        EXPECT_EQ(kFailed, run.exitCode) << run.describe();
        installed.expectIntact();
        EXPECT_TRUE(pathExists(plugin + "\\setup-uninstall.exe"));
    }
    {
        SCOPED_TRACE("the program started through a link to the install folder");
        Installed installed(Form::Library, ProgramNames("Through"));
        ASSERT_NO_FATAL_FAILURE(installed.install());
        const std::string link = installed.installDir + "-link";
        std::string why;
        if (!makeLink(link, installed.installDir, &why)) GTEST_SKIP() << why;
        RunResult run = installed.uninstall(quoteArgument(link + "\\" + installed.names.progFile + ".exe") + " -u -s",
                                            confirmAndAcknowledge);
        ASSERT_FALSE(run.timedOut) << run.describe();
        EXPECT_EQ(kFailed, run.exitCode) << run.describe();
        installed.expectIntact();
        RemoveDirectoryA(link.c_str());
        DeleteFileA(link.c_str());
    }
}

// A listed folder that the user turned into a link to a folder elsewhere,
// which holds a file of a listed name: nothing there is touched.
TEST_F(UninstallTest, NeverRemovesThroughALink) {
    Installed installed(Form::Library, ProgramNames("Linked"));
    ASSERT_NO_FATAL_FAILURE(installed.install());
    const std::string victim = "C:\\" + installed.names.progDir + "-victim";
    ASSERT_TRUE(CreateDirectoryA(victim.c_str(), nullptr));
    // Its readme has the listed file's size and time, so that only the link
    // rule keeps it.
    ASSERT_TRUE(writeFile(victim + "\\readme.txt", "read me"));
    {
        ScopedHandle file(CreateFileA((victim + "\\readme.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        FILETIME stamp = {static_cast<DWORD>(kStamp), static_cast<DWORD>(kStamp >> 32)};
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &stamp));
    }
    ASSERT_TRUE(writeFile(victim + "\\report.doc", "the victim's report"));
    removeFileTree(installed.installDir + "\\Data");
    std::string why;
    if (!makeLink(installed.installDir + "\\Data", victim, &why)) {
        removeFileTree(victim);
        GTEST_SKIP() << why;
    }
    RunResult run = installed.uninstall(installed.uninstallCommand(" -s"), confirmAndAcknowledge);
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ("read me", readFileContents(victim + "\\readme.txt").value_or("(missing)"));
    EXPECT_EQ("the victim's report", readFileContents(victim + "\\report.doc").value_or("(missing)"));
    // The link stays where the list names a folder, and keeps the folder:
    // the result says so.
    EXPECT_EQ(kFolderKept, run.exitCode) << run.describe();
    {
        // Only the link stays (a tree listing would go through it).
        std::vector<std::string> left;
        WIN32_FIND_DATAA found;
        ScopedFind find(FindFirstFileA((installed.installDir + "\\*").c_str(), &found));
        if (find.isValid()) {
            do {
                if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) left.push_back(found.cFileName);
            } while (FindNextFileA(find.get(), &found));
        }
        EXPECT_EQ(std::vector<std::string>({"Data"}), left);
    }
    EXPECT_FALSE(pathExists(installed.program));
    DeleteFileA((installed.installDir + "\\Data").c_str());
    RemoveDirectoryA((installed.installDir + "\\Data").c_str());
    removeFileTree(victim);
}

// An upgrade keeps the older version's list beside the newer one's: the
// uninstall removes the files of both, and the folder.
TEST_F(UninstallTest, AnUpgradeLeavesNothingOfEitherVersion) {
    ProgramNames olderNames("Upgrade");
    ProgramNames newerNames = olderNames;
    newerNames.version = "1.3";
    Installed older(Form::Library, olderNames, {{"old-plugin.dll", "the older version's plugin"}});
    Installed newer(Form::Library, newerNames);
    ASSERT_NO_FATAL_FAILURE(older.install());
    ASSERT_NO_FATAL_FAILURE(newer.install());
    ASSERT_TRUE(pathExists(newer.installDir + "\\old-plugin.dll"));
    RunResult run = newer.uninstall(newer.uninstallCommand(" -s"), confirmAndAcknowledge);
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(kRemoved, run.exitCode) << run.describe();
    newer.expectRemoved();
    expectTempClean();
}

// The names the installer formed: a ProgDir that is a format (%s takes
// ProgName, as in the installer), and a base folder typed in another
// spelling, which the uninstall entry keeps as typed.
TEST_F(UninstallTest, FindsTheInstallUnderTheNamesTheInstallerFormed) {
    {
        SCOPED_TRACE("ProgDir=%s");
        ProgramNames names("Formed");
        names.progDir = "%s";
        Installed installed(Form::Library, names);
        installed.formedAs(names.progName);
        ASSERT_NO_FATAL_FAILURE(installed.install());
        RunResult run = installed.uninstall(installed.uninstallCommand(" -s"), confirmAndAcknowledge);
        ASSERT_FALSE(run.timedOut) << run.describe();
        EXPECT_EQ(kRemoved, run.exitCode) << run.describe();
        installed.expectRemoved();
    }
    const struct {
        const char* what;
        std::string base;  // as typed; {dir} stands for a folder of the test's own
        std::string canonical;
    } spellings[] = {
        {"forward slashes", "C:/{dir}", "C:\\{dir}"},
        {"a doubled backslash", "C:\\{dir}\\\\Apps", "C:\\{dir}\\Apps"},
        {"the short form", "{short}", "C:\\Program Files"},
    };
    for (const auto& c : spellings) {
        SCOPED_TRACE(c.what);
        Installed installed(Form::Library, ProgramNames("Spelt"));
        std::string base = c.base;
        const std::string own = installed.names.progDir + "-base";
        if (base == "{short}") {
            char shortForm[MAX_PATH];
            DWORD length = GetShortPathNameA("C:\\Program Files", shortForm, sizeof shortForm);
            ASSERT_TRUE(length > 0 && length < sizeof shortForm);
            base = shortForm;
            ASSERT_NE("C:\\Program Files", base) << "no short name for the folder";
        }
        std::string canonical = c.canonical;
        if (base.find("{dir}") != std::string::npos) base.replace(base.find("{dir}"), 5, own);
        if (canonical.find("{dir}") != std::string::npos) canonical.replace(canonical.find("{dir}"), 5, own);
        installed.installDir = canonical + "\\" + installed.names.progDir;
        installed.program = installed.installDir + "\\" + installed.names.progFile + ".exe";
        // An earlier install's location is where the installer puts the next.
        HKEY key = nullptr;
        const std::string entry = kUninstallRoot + installed.names.progDir;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        const std::string location = base + "\\" + installed.names.progDir;
        RegSetValueExA(key, "InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(location.c_str()),
                       static_cast<DWORD>(location.size() + 1));
        RegCloseKey(key);
        // The base folder exists, as the directory dialog requires.
        CreateDirectoryA(("C:\\" + own).c_str(), nullptr);
        CreateDirectoryA(("C:\\" + own + "\\Apps").c_str(), nullptr);
        ASSERT_NO_FATAL_FAILURE(installed.install());
        const std::string command =
            readRegistryString(HKEY_LOCAL_MACHINE, entry, "UninstallString").value_or("");
        ASSERT_NE(std::string::npos, command.find(base)) << command;
        RunResult run = installed.uninstall(command + " -s", confirmAndAcknowledge);
        ASSERT_FALSE(run.timedOut) << run.describe();
        EXPECT_EQ(kRemoved, run.exitCode) << run.describe();
        EXPECT_FALSE(pathExists(installed.installDir));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, entry));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, installed.appPathKey()));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, installed.vendorKey()));
        EXPECT_FALSE(pathExists(installed.desktopLink()));
        removeFileTree("C:\\" + own);
        removeFileTree(location);
    }
}

}  // namespace
