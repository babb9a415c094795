#pragma once
// Running custom installers end to end: a copy of the built setup.exe with
// the test's own setup INI and payload, started and answered by the
// harness, with names of its own so that tests never meet each other.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveWriter.h"
#include "PrefixState.h"
#include "ProcessRunner.h"
#include "Responders.h"
#include "TestSupport.h"
#include "WindowWatcher.h"

// Names that make one test's installation its own: ProgName "<Prefix> <n>",
// ProgDir and ProgFile "<Prefix><n>", unique within the test run.
struct ProgramNames {
    explicit ProgramNames(const std::string& prefix);
    std::string progName;
    std::string progDir;
    std::string progFile;
    std::string version = "1.2";
};

// A setup INI in the example's layout with every key present; `extra` is
// added to the EN section before its other keys (the first of two equal keys
// wins) and `sections` after it. InstallFailed of EN is "%s failed EN".
std::string setupIni(const ProgramNames& names, const std::string& extra = "",
                     const std::string& sections = "");

// A payload holding one Program file named ProgFile.exe (its contents do not
// matter unless the program is started).
ByteVector payloadWithProgram(const ProgramNames& names);

// The built setup.exe, beside the tests.
std::string builtSetup();

// One message box or dialog as a test compares it.
struct Shown {
    std::string caption;
    std::string text;
    bool operator==(const Shown& other) const { return caption == other.caption && text == other.text; }
};
std::ostream& operator<<(std::ostream& out, const Shown& shown);

// What a run did.
struct InstallerOutcome {
    RunResult run;
    std::vector<Shown> messages;   // message boxes, in order
    std::vector<Shown> dialogs;    // dialogs (not message boxes), in order
    std::string ownerTitle;        // title of the owner window when the first window showed
};

class InstallerRun {
public:
    // Makes the installer in a temporary folder of its own.
    InstallerRun(const std::string& ini, const ByteVector& payload);
    ~InstallerRun();
    InstallerRun(const InstallerRun&) = delete;
    InstallerRun& operator=(const InstallerRun&) = delete;

    const std::string& path() const { return path_; }
    bool ready() const { return ready_; }
    // Runs it with `arguments` until it ends, `responder` answering.
    InstallerOutcome run(const std::string& arguments, Responder responder, DWORD timeoutMs = 60000);

private:
    TempDir dir_;
    std::string path_;
    bool ready_;
};

// The staging folder that a run with this ProgName uses.
std::string stagingFolder(const ProgramNames& names);

// The uninstall entry's key below HKEY_LOCAL_MACHINE.
std::string uninstallKey(const ProgramNames& names);

// Removes what a run installed for these names into `installDir`: the
// folder, the Programs-menu folder and Desktop shortcut, the uninstall and
// App Paths entries and the vendor key (test cleanup).
void removeInstalled(const ProgramNames& names, const std::string& installDir);

// Restores an environment variable when it goes.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        char old[MAX_PATH];
        DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        if (had_) old_ = old;
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }

private:
    std::string name_;
    std::string old_;
    bool had_;
};

// An existing installation's uninstall entry, removed again afterwards.
class ExistingInstallation {
public:
    explicit ExistingInstallation(const ProgramNames& names) : key_(uninstallKey(names)) {}
    ~ExistingInstallation() { deleteRegistryTree(HKEY_LOCAL_MACHINE, key_); }
    void set(const char* name, const std::string& value) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }

private:
    std::string key_;
};

// Answers an uninstall's confirmation with Yes and every other message with
// OK (or Cancel where it asks to retry); anything but a message box is
// unexpected.
Response confirmAndAcknowledge(const WindowInfo& window);

// Runs `command` (an uninstall entry's command, as the system's list of
// programs runs it) with every process it starts, answered by `responder`,
// for at most two minutes.
RunResult runUninstallCommand(const std::string& command, Responder responder);

// Installs the example (setup.exe beside the test, unattended) and closes
// the Sample Notes window it starts; the installer's exit code.
DWORD installExampleUnattended();

// A UTF-16 text as UTF-8.
std::string utf8(const std::wstring& text);

// A window's text as Unicode, whatever the code page of the process that
// set it; "" when the window does not answer within 5 s.
std::wstring windowTextW(HWND window);
