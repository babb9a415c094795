#include "InstallerRun.h"

#include <utility>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <ostream>

#include "CustomInstaller.h"
#include "PrefixState.h"

namespace {

unsigned nextProgramNumber() {
    static unsigned counter;
    return GetCurrentProcessId() * 100 + ++counter;
}

// The title of the installer's owner window, if it exists.
std::string ownerWindowTitle(DWORD processId) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "QRBInstalling", nullptr); window;
         window = FindWindowExA(nullptr, window, "QRBInstalling", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != processId) continue;
        char title[1024] = "";
        GetWindowTextA(window, title, sizeof title);
        return title;
    }
    return "(no owner window)";
}

}  // namespace

ProgramNames::ProgramNames(const std::string& prefix) {
    std::string number = std::to_string(nextProgramNumber());
    progName = prefix + " " + number;
    progDir = prefix + number;
    progFile = prefix + number;
}

std::string setupIni(const ProgramNames& names, const std::string& extra, const std::string& sections) {
    return "[Settings]\r\nProgName=" + names.progName + "\r\nProgVersion=" + names.version +
           "\r\nProgFile=" + names.progFile + "\r\nProgDir=" + names.progDir + "\r\n" +
           "[EN]\r\n" + extra +
           "ProgDesc=Desc EN\r\nDirDesc=Dir EN\r\nExtDesc=Ext EN\r\nInstallDesc=Install %s %s?\r\n"
           "NewerInstalled=Newer EN\r\nInstallBaseDir=Base EN\r\nInstallProgDir=Prog EN\r\n"
           "InstallChange=Change\r\nInstallBrowse=Browse\r\nInstallCompleted=%s %s done EN\r\n"
           "InstallFailed=%s failed EN\r\nFileCopyFailed=Copy failed EN\r\nNotDir=Not a folder EN\r\n"
           "DirCreateFailed=Mkdir failed EN\r\nInstallOk=OK\r\nInstallCancel=Cancel\r\nInstallYes=Yes\r\n"
           "InstallNo=No\r\n" +
           sections;
}

ByteVector payloadWithProgram(const ProgramNames& names) {
    ArchiveWriter writer;
    writer.addDirectory("Program");
    writer.addFile("Program\\" + names.progFile + ".exe", "not a real program");
    return writer.build();
}

std::string builtSetup() { return ownFolder() + "\\setup.exe"; }

std::ostream& operator<<(std::ostream& out, const Shown& shown) {
    return out << "[" << shown.caption << "] " << shown.text;
}

InstallerRun::InstallerRun(const std::string& ini, const ByteVector& payload) {
    path_ = dir_ / "setup.exe";
    std::string error;
    ready_ = makeInstaller(builtSetup(), path_,
                           {ResourceChange::replace(kSetupIniResource, ini),
                            ResourceChange::replace(kPayloadResource, std::string(payload.begin(), payload.end()))},
                           &error);
    EXPECT_TRUE(ready_) << error;
}

InstallerRun::~InstallerRun() = default;

InstallerOutcome InstallerRun::run(const std::string& arguments, Responder responder, DWORD timeoutMs) {
    InstallerOutcome outcome;
    RunOptions options;
    options.commandLine = quoteArgument(path_) + (arguments.empty() ? "" : " " + arguments);
    options.currentDir = dir_.path();
    options.timeoutMs = timeoutMs;
    bool first = true;
    options.responder = [&](const WindowInfo& window) {
        if (first) {
            outcome.ownerTitle = ownerWindowTitle(window.processId);
            first = false;
        }
        return responder(window);
    };
    outcome.run = runProgram(options);
    for (const SeenWindow& seen : outcome.run.windows) {
        if (seen.window.isMessageBox()) outcome.messages.push_back({seen.window.caption, seen.window.messageText});
        else outcome.dialogs.push_back({seen.window.caption, ""});
    }
    return outcome;
}

std::string stagingFolder(const ProgramNames& names) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + names.progName;
}

std::string uninstallKey(const ProgramNames& names) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + names.progDir;
}

void removeInstalled(const ProgramNames& names, const std::string& installDir) {
    removeFileTree(installDir);
    removeFileTree(specialFolder(CSIDL_PROGRAMS) + "\\" + names.progName);
    removeFileTree(specialFolder(CSIDL_DESKTOP) + "\\" + names.progName + ".lnk");
    deleteRegistryTree(HKEY_LOCAL_MACHINE, uninstallKey(names));
    deleteRegistryTree(HKEY_LOCAL_MACHINE,
                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + names.progFile + ".exe");
    deleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\" + names.progName);
}

Response confirmAndAcknowledge(const WindowInfo& window) {
    if (!window.isMessageBox()) return Response::close().markUnexpected("not a message box");
    if (window.button("Yes")) return Response::press(IDYES);
    if (window.button("Retry")) return Response::press(IDCANCEL);
    return Response::press(IDOK);
}

RunResult runUninstallCommand(const std::string& command, Responder responder) {
    RunOptions options;
    options.commandLine = command;
    options.followChildren = true;
    options.timeoutMs = 120000;
    options.responder = std::move(responder);
    return runProgram(options);
}

DWORD installExampleUnattended() {
    RunOptions setup;
    setup.commandLine = quoteArgument(ownFolder() + "\\setup.exe") + " -s";
    setup.timeoutMs = 120000;
    setup.responder = [](const WindowInfo&) { return Response::press(IDOK); };
    const DWORD code = runProgram(setup).exitCode;
    if (HWND window = waitForTopLevelWindow("Sample Notes", 20000)) closeTopLevelWindow(window, 5000);
    return code;
}

std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring windowTextW(HWND window) {
    wchar_t buffer[2048];
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 5000, &copied)) {
        return L"";
    }
    return std::wstring(buffer, copied < sizeof buffer / sizeof buffer[0] ? copied : 0);
}
