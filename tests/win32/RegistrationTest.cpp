#include "registration/Registration.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DeployHelpers.h"
#include "ProcessRunner.h"
#include "TestSupport.h"
#include "common/Format.h"

namespace {

using Lines = std::vector<std::string>;

Lines sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kAppPathsRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A program installed in a folder with spaces; every name is unique to the
// test, and everything registered is removed afterwards.
class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&installState, 0, sizeof installState);
        progName = uniqueName("Registration Test ");
        progFile = uniqueName("RegTest");
        progDir = uniqueName("RegTestDir");
        extension = "." + uniqueName("rt");
        type = uniqueName("RegTest.Document.");
        setSlot(Slot::ProgName, progName);
        setSlot(Slot::ProgFile, progFile);
        setSlot(Slot::ProgDir, progDir);
        setSlot(Slot::ExtDesc, "Registration test document");
        ASSERT_TRUE(CreateDirectoryA(installDir.c_str(), nullptr));
        copyText(installState.installDir, kPathSize, installDir.c_str());
        copyText(installState.programPath, kPathSize, program.c_str());
    }
    void TearDown() override {
        removeInstalledTraces(progName, progFile, progDir);
        deleteRegistryTree(HKEY_CLASSES_ROOT, extension);
        deleteRegistryTree(HKEY_CLASSES_ROOT, type);
    }
    void setFileType(const std::string& extensionName, const std::string& open, const std::string& icon) {
        copyText(fileTypeValue(FileTypeValue::Type), kTextSize, type.c_str());
        copyText(fileTypeValue(FileTypeValue::Extension), kTextSize, extensionName.c_str());
        copyText(fileTypeValue(FileTypeValue::Open), kTextSize, open.c_str());
        copyText(fileTypeValue(FileTypeValue::Icon), kTextSize, icon.c_str());
    }
    // Installs a test program (of the test's folder) and registers it.
    void registerCopyOf(const std::string& testProgram) {
        ASSERT_TRUE(CopyFileA((ownFolder() + "\\" + testProgram).c_str(), program.c_str(), FALSE));
        registerProgram();
    }
    void setValue(HKEY root, const std::string& path, const char* name, const std::string& text) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                 nullptr));
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }

    TempDir temp;
    std::string installDir = temp / "Program Dir With Spaces";
    std::string progName, progFile, progDir, extension, type;
    std::string program = installDir + "\\" + uniqueName("Program") + ".exe";
};

TEST_F(RegistrationTest, UpdateLeavesTheRegistryExactlyAsTheTable) {
    const std::string quotedProgram = "\"" + program + "\"";
    setFileType(extension, quotedProgram + " \"%%1\"", program + ",1");
    registerCopyOf("versioned-1.0.exe");
    // What an earlier install or another program added to the file type.
    setValue(HKEY_CLASSES_ROOT, extension + "\\ShellNew", "NullFile", "");
    setValue(HKEY_CLASSES_ROOT, type + "\\Shell\\print\\command", nullptr, "foreign print");
    setValue(HKEY_CLASSES_ROOT, type, "FriendlyTypeName", "foreign");

    registerCopyOf("versioned-2.1.exe");
    EXPECT_EQ(Lines({"2.1\\"}), dumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\" + progName));
    EXPECT_EQ(sorted({"@=" + program, "Path=" + installDir}),
              dumpKey(HKEY_LOCAL_MACHINE, kAppPathsRoot + progFile + ".exe"));
    // The uninstall command's path is quoted; the App Paths one is not.
    EXPECT_EQ(sorted({"DisplayName=" + progName, "DisplayVersion=2.1", "InstallLocation=" + installDir,
                      "UninstallString=" + quotedProgram + " -u", "VersionMajor=dword:2", "VersionMinor=dword:1"}),
              dumpKey(HKEY_LOCAL_MACHINE, kUninstallRoot + progDir));
    EXPECT_EQ(Lines({"@=" + type}), dumpKey(HKEY_CLASSES_ROOT, extension));
    EXPECT_EQ(sorted({"@=Registration test document", "DefaultIcon\\", "DefaultIcon\\@=" + program + ",1", "Shell\\",
                      "Shell\\open\\", "Shell\\open\\command\\",
                      "Shell\\open\\command\\@=" + quotedProgram + " \"%1\""}),
              dumpKey(HKEY_CLASSES_ROOT, type));
}

TEST_F(RegistrationTest, VersionComesFromTheProgramsVersionRecord) {
    // File version 3.14.0.7, product version 3.2.0.0.
    registerCopyOf("versioned-3.14.exe");
    EXPECT_EQ(Lines({"3.14\\"}), dumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\" + progName));
    Lines uninstall = dumpKey(HKEY_LOCAL_MACHINE, kUninstallRoot + progDir);
    EXPECT_EQ(1, std::count(uninstall.begin(), uninstall.end(), "DisplayVersion=3.14"));
    EXPECT_EQ(1, std::count(uninstall.begin(), uninstall.end(), "VersionMajor=dword:3"));
    EXPECT_EQ(1, std::count(uninstall.begin(), uninstall.end(), "VersionMinor=dword:2"));

    // Without a version record: an empty version, 0 and 0.
    ASSERT_TRUE(writeFile(program, "not a program"));
    registerProgram();
    EXPECT_EQ(Lines(), dumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\QRB\\" + progName));
    uninstall = dumpKey(HKEY_LOCAL_MACHINE, kUninstallRoot + progDir);
    EXPECT_EQ(1, std::count(uninstall.begin(), uninstall.end(), "DisplayVersion="));
    EXPECT_EQ(1, std::count(uninstall.begin(), uninstall.end(), "VersionMajor=dword:0"));
    EXPECT_EQ(1, std::count(uninstall.begin(), uninstall.end(), "VersionMinor=dword:0"));
}

TEST_F(RegistrationTest, FileTypeValuesThatDoNotFitAreNotWritten) {
    setFileType(extension, "%s" + std::string(1020, 'x'), "");
    registerCopyOf("versioned-1.0.exe");
    EXPECT_EQ(sorted({"@=Registration test document", "DefaultIcon\\", "DefaultIcon\\@=", "Shell\\", "Shell\\open\\",
                      "Shell\\open\\command\\"}),
              dumpKey(HKEY_CLASSES_ROOT, type));

    // No extension: nothing below HKEY_CLASSES_ROOT at all.
    deleteRegistryTree(HKEY_CLASSES_ROOT, type);
    deleteRegistryTree(HKEY_CLASSES_ROOT, extension);
    setFileType("", "open %s", "icon %s");
    registerProgram();
    EXPECT_EQ(Lines(), dumpKey(HKEY_CLASSES_ROOT, type));
}

struct VersionCase {
    const char* file;  // a test program, or a name in the temp folder
    int result;
    const char* text;
    unsigned major;
    unsigned minor;
};

TEST_F(RegistrationTest, ReadVersionInfo) {
    const unsigned poison = 0xdeadbeef;
    const VersionCase cases[] = {
        {"versioned-3.14.exe", 1, "3.14", 3, 2},
        {"versioned-2.1.exe", 1, "2.1", 2, 1},
        {"plain.txt", 0, "", poison, poison},
        {"missing.exe", 0, "", poison, poison},
    };
    ASSERT_TRUE(writeFile(temp / "plain.txt", "no version record"));
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = pathExists(ownFolder() + "\\" + c.file) ? ownFolder() + "\\" + c.file : temp / c.file;
        char text[kPathSize + 1];
        memset(text, 0xbd, sizeof text);
        unsigned major = poison;
        unsigned minor = poison;
        EXPECT_EQ(c.result, readVersionInfo(path.c_str(), text, &major, &minor));
        EXPECT_STREQ(c.text, text);
        EXPECT_EQ(c.major, major);
        EXPECT_EQ(c.minor, minor);
        EXPECT_EQ(static_cast<char>(0xbd), text[kPathSize]);
    }
}

// Windows looks for version.dll beside the program before the system
// directory. Wine prefers its own DLL unless told otherwise for the program,
// which the test does so that a planted DLL would be taken.
TEST(PlantedVersionDll, IsNotLoaded) {
    TempDir folder;
    const std::string probe = folder / "version-probe.exe";
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\version-probe.exe").c_str(), probe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\planted-version.dll").c_str(), (folder / "version.dll").c_str(), FALSE));
    const char overrides[] = "Software\\Wine\\AppDefaults\\version-probe.exe";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(overrides) + "\\DllOverrides").c_str(),
                                             0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, "version", 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    RegCloseKey(key);

    auto probeExitCode = [&](const std::string& arguments) {
        RunOptions options;
        options.commandLine = quoteArgument(probe) + " " + arguments;
        options.timeoutMs = 30000;
        RunResult run = runProgram(options);
        return run.started && !run.timedOut ? static_cast<int>(run.exitCode) : -1;
    };
    int plain = probeExitCode("plain");
    int read = probeExitCode(quoteArgument(ownFolder() + "\\versioned-3.14.exe"));
    deleteRegistryTree(HKEY_CURRENT_USER, overrides);
    EXPECT_EQ(99, plain) << "a plain load takes the planted DLL";
    EXPECT_EQ(302, read);
}

}  // namespace
