#include "driver/RunSetup.h"

#include <string.h>

#include "archive/Extractor.h"
#include "archive/StagingFolder.h"
#include "common/Format.h"
#include "common/InstallState.h"
#include "common/PhaseMark.h"
#include "common/Process.h"
#include "common/Text.h"
#include "config/SetupConfig.h"
#include "deploy/FileOps.h"
#include "deploy/InstallStep.h"
#include "driver/VersionGate.h"
#include "registration/RegistryText.h"
#include "res/resource.h"
#include "ui/InstallPrompt.h"
#include "ui/OwnerWindow.h"
#include "ui/TaskbarProgress.h"

#include <shlobj.h>

namespace {

// Looks for an earlier installation of ProgDir: its InstallLocation becomes
// the base directory, and a location that is not this program's own folder
// makes the user confirm even in an unattended run.
void lookUpExistingInstallation(bool& unattended) {
    char buffer[kTextSize];
    if (!formatText(buffer, sizeof buffer, kUninstallKeyFormat, setupString(Slot::ProgDir))) return;
    RegistryKey key;
    if (key.open(HKEY_LOCAL_MACHINE, buffer, kKeyAllAccess) != ERROR_SUCCESS) return;
    if (!queryTextValue(key, "InstallLocation", buffer, sizeof buffer)) return;
    key.close();

    installState.freshInstall = 0;
    switch (matchInstallLocation(buffer, setupString(Slot::ProgDir))) {
    case InstallLocation::Matches:
        break;
    case InstallLocation::Whole:
        unattended = false;
        break;
    case InstallLocation::Unusable:
        // Keep ProgramFilesDir and let the user choose in the prompt.
        installState.freshInstall = 1;
        unattended = false;
        return;
    }
    copyText(installState.baseDir, kPathSize, buffer);
}

// Starts the installed program in its folder. The path is quoted, so that a
// folder with spaces cannot start another program.
void launchInstalledProgram() {
    char commandLine[kPathSize + 2];
    if (!formatText(commandLine, sizeof commandLine, "\"%s\"", installState.programPath)) return;
    startProgram(commandLine, installState.installDir);
}

void showMessage(HWND owner, Slot text) {
    MessageBoxA(owner, setupString(text), setupString(Slot::ProgName), MB_OK);
}

// The stages after a successful configuration, in order; 1 once the program
// is installed and started.
int runConfiguredStages(HWND owner, bool unattended, StagingFolder& staging) {
    char title[kTextSize];
    formatText(title, sizeof title, " %s", setupString(Slot::ProgName));
    SetWindowTextA(owner, title);

    markPhase("lookup");
    lookUpExistingInstallation(unattended);
    if (!checkInstalledVersion()) {
        showMessage(owner, Slot::NewerInstalled);
        return 0;
    }
    if (!unattended &&
        DialogBoxParamA(installState.instance, MAKEINTRESOURCEA(IDD_INSTALL_PROMPT), owner,
                        installPromptProc, 0) != IDYES) {
        return 0;
    }
    markPhase("running");
    closeRunningInstances();
    if (!extractPayload(owner, staging)) return 0;
    if (!installProgram(owner)) return 0;

    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    endTaskbarProgress(true);
    markPhase("box");
    showMessage(owner, Slot::InstallCompleted);
    markPhase("launch");
    launchInstalledProgram();
    return 1;
}

}  // namespace

int runSetup(HINSTANCE instance, const char* commandTail) {
    markPhase("start");
    installState.instance = instance;
    installState.stagingDir[0] = '\0';
    copyText(setupString(Slot::ProgName), kTextSize, "Setup");
    copyText(setupString(Slot::InstallFailed), kTextSize, "The program has not been installed.");
    bool unattended = isUnattendedTail(commandTail);
    installState.freshInstall = 1;

    OwnerWindow owner;
    owner.create();
    StagingFolder staging;
    int result = 0;
    readProgramFilesDir(installState.baseDir);
    markPhase("configuration");
    if (loadSetupConfiguration(owner.window)) result = runConfiguredStages(owner.window, unattended, staging);

    // Cleanup, on every way out: the staged files go (after the program was
    // started), then a run that installed nothing says so. Only a staging
    // folder that this run made, and that is still that folder, is removed.
    markPhase("removal");
    staging.remove();
    endTaskbarProgress(false);
    if (result == 0) showMessage(owner.window, Slot::InstallFailed);
    markPhase("exit");
    return result;
}

bool readProgramFilesDir(char* path) {
    RegistryKey key;
    if (key.open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", kKeyAllAccess) !=
        ERROR_SUCCESS) {
        return false;
    }
    char value[kPathSize];
    if (!queryTextValue(key, "ProgramFilesDir", value, sizeof value)) return false;
    key.close();
    return copyText(path, kPathSize, value);
}

void closeRunningInstances() {
    // No search after the last request: what it found would change nothing.
    const char* title = setupString(Slot::ProgName);
    for (int request = 0; request < 5; ++request) {
        HWND window = FindWindowA(nullptr, title);
        if (!window) return;
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(300);
    }
}

const char* commandLineTail(const char* commandLine) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {}
        if (*p == '"') ++p;
    } else {
        while (*p > ' ') ++p;
    }
    while (*p && *p <= ' ') ++p;
    return reinterpret_cast<const char*>(p);
}

bool isUnattendedTail(const char* tail) { return sameTextIgnoringCase(tail, "-s"); }

InstallLocation matchInstallLocation(char* location, const char* progDir) {
    size_t length = strlen(location);
    size_t dirLength = strlen(progDir);
    bool matches = length >= dirLength + 1 && location[length - dirLength - 1] == '\\' &&
                   sameTextIgnoringCase(location + length - dirLength, static_cast<int>(dirLength),
                                        progDir, static_cast<int>(dirLength));
    if (matches) {
        location[length - dirLength - 1] = '\0';
        length -= dirLength + 1;
    }
    // The install directory is the base directory, a backslash and ProgDir.
    if (length + 1 + dirLength >= kPathSize) return InstallLocation::Unusable;
    return matches ? InstallLocation::Matches : InstallLocation::Whole;
}
