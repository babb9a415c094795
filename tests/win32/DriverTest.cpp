#include "driver/RunSetup.h"
#include "driver/VersionGate.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <string>

#include "common/Format.h"
#include "common/InstallState.h"

namespace {

struct TailCase {
    const char* commandLine;
    const char* tail;
    bool unattended;
};

TEST(CommandLine, TailAndUnattendedFlag) {
    const TailCase cases[] = {
        {"setup.exe -s", "-s", true},
        {"\"C:\\Down loads\\setup.exe\"   -S", "-S", true},
        {"\"C:\\Down loads\\setup.exe\"-s", "-s", true},  // no blank after the quoted name
        {"setup.exe\t-s", "-s", true},
        {"setup.exe", "", false},
        {"setup.exe -s x", "-s x", false},
        {"setup.exe -s ", "-s ", false},
        {"setup.exe /s", "/s", false},
        {"setup.exe -sx", "-sx", false},
        {"\"unterminated -s", "", false},
    };
    for (const TailCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        const char* tail = commandLineTail(c.commandLine);
        EXPECT_STREQ(c.tail, tail);
        EXPECT_EQ(c.unattended, isUnattendedTail(tail));
    }
}

struct LocationCase {
    const char* location;
    const char* progDir;
    InstallLocation expected;
    const char* baseDir;  // the location afterwards
};

TEST(InstallLocationMatch, CutsOnlyABackslashAndProgDir) {
    const std::string longFolder = "C:\\" + std::string(250, 'a');
    const LocationCase cases[] = {
        {"C:\\Apps\\Notes", "Notes", InstallLocation::Matches, "C:\\Apps"},
        {"C:\\Apps\\NOTES", "Notes", InstallLocation::Matches, "C:\\Apps"},  // other letter case
        {"\\Notes", "Notes", InstallLocation::Matches, ""},                  // exactly backslash + ProgDir
        {"C:\\AppsNotes", "Notes", InstallLocation::Whole, "C:\\AppsNotes"}, // no backslash before it
        {"Notes", "Notes", InstallLocation::Whole, "Notes"},                 // shorter than ProgDir + 1
        {"C:\\Apps\\Other", "Notes", InstallLocation::Whole, "C:\\Apps\\Other"},
        {"C:\\Apps\\Notes\\", "Notes", InstallLocation::Whole, "C:\\Apps\\Notes\\"},
    };
    for (const LocationCase& c : cases) {
        SCOPED_TRACE(c.location);
        char location[kTextSize];
        copyText(location, sizeof location, c.location);
        EXPECT_EQ(c.expected, matchInstallLocation(location, c.progDir));
        EXPECT_STREQ(c.baseDir, location);
    }

    // A base directory that would not leave room for a backslash and ProgDir.
    char location[kTextSize];
    copyText(location, sizeof location, (longFolder + "\\Notes").c_str());
    EXPECT_EQ(InstallLocation::Matches, matchInstallLocation(location, "Notes"));  // 253 + 6 = 259 fits
    copyText(location, sizeof location, (longFolder + "x\\Notes").c_str());
    EXPECT_EQ(InstallLocation::Unusable, matchInstallLocation(location, "Notes"));  // 254 + 6 = 260 does not
    copyText(location, sizeof location, (longFolder + "xx\\Notes").c_str());
    EXPECT_EQ(InstallLocation::Unusable, matchInstallLocation(location, "Notes"));
    copyText(location, sizeof location, (std::string(900, 'b') + "\\Other").c_str());
    EXPECT_EQ(InstallLocation::Unusable, matchInstallLocation(location, "Notes"));
}

struct VersionCase {
    const char* installed;
    const char* offered;
    bool newer;
};

TEST(VersionGate, ComparesNumbersNotTexts) {
    const VersionCase cases[] = {
        {"1.5", "2.0", false},
        {"2.0", "1.5", true},
        {"1.10", "1.9", true},
        {"1.9", "1.10", false},
        {"1.05", "1.5", false},
        {"1.5.9", "1.5", false},  // only the number after the first point counts
        {"1.6.0", "1.5.9", true},
        {"2", "2.3", false},      // one side without a point: majors only
        {"2.3", "2", false},
        {"1.2", "1.2", false},
        {" +3.1", "3.0", true},
        {"abc", "0.1", false},
        {"-1.0", "0.0", false},
        {"99999999999.0", "2147483647.5", false},  // held at the 32-bit limit: equal majors
        {"2147483648.1", "2147483647.0", true},
        {"1.99999999999", "1.2147483646", true},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(std::string(c.installed) + " vs " + c.offered);
        EXPECT_EQ(c.newer, isNewerVersion(c.installed, c.offered));
    }
    VersionNumbers huge = readVersionText("-99999999999.7");
    EXPECT_EQ(INT_MIN, huge.major);
    EXPECT_TRUE(huge.hasMinor);
    EXPECT_EQ(7, huge.minor);
}

// The gate against the real registry, under an uninstall entry of its own.
class InstalledVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&installState, 0, sizeof installState);
        formatText(setupString(Slot::ProgDir), kTextSize, "SetupTestGate%lu", 0ul + GetCurrentProcessId());
        formatText(keyPath_, sizeof keyPath_, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
                   setupString(Slot::ProgDir));
    }
    void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath_); }

    void install(const char* displayVersion) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath_, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        if (displayVersion) {
            RegSetValueExA(key, "DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(displayVersion),
                           static_cast<DWORD>(strlen(displayVersion) + 1));
        }
        RegCloseKey(key);
    }

    char keyPath_[kTextSize];
};

TEST_F(InstalledVersionTest, RefusesOnlyANewerInstalledVersion) {
    copyText(setupString(Slot::ProgVersion), kTextSize, "1.5");
    EXPECT_TRUE(checkInstalledVersion()) << "no uninstall entry";
    install(nullptr);
    EXPECT_TRUE(checkInstalledVersion()) << "no DisplayVersion";
    install("");
    EXPECT_TRUE(checkInstalledVersion()) << "empty DisplayVersion";
    install("1.5");
    EXPECT_TRUE(checkInstalledVersion()) << "same version";
    install("1.10");
    EXPECT_FALSE(checkInstalledVersion()) << "1.10 installed, 1.5 offered";
    install(std::string(300, '9').c_str());
    EXPECT_TRUE(checkInstalledVersion()) << "a value that does not fit 260 bytes is not read";
}

TEST(ProgramFilesDir, IsReadFromTheRegistry) {
    char path[kPathSize];
    memset(path, 0xBD, sizeof path);
    ASSERT_TRUE(readProgramFilesDir(path));
    EXPECT_STREQ("C:\\Program Files", path);
}

// Windows titled ProgName that ignore the close request, counting them.
int closeRequests = 0;

LRESULT CALLBACK stubbornWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        ++closeRequests;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(CloseRunningInstances, PostsAtMostFiveRequests) {
    memset(&installState, 0, sizeof installState);
    formatText(setupString(Slot::ProgName), kTextSize, "Stubborn %lu", 0ul + GetCurrentProcessId());
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = stubbornWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SetupTestStubborn";
    ASSERT_NE(0, RegisterClassA(&windowClass));
    HWND first = CreateWindowA("SetupTestStubborn", setupString(Slot::ProgName), WS_POPUP, 0, 0, 10, 10,
                               nullptr, nullptr, windowClass.hInstance, nullptr);
    HWND second = CreateWindowA("SetupTestStubborn", setupString(Slot::ProgName), WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(first && second);

    closeRequests = 0;
    DWORD start = GetTickCount();
    closeRunningInstances();
    DWORD elapsed = GetTickCount() - start;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);

    EXPECT_EQ(5, closeRequests);
    EXPECT_GE(elapsed, 1400u);
    DestroyWindow(first);
    DestroyWindow(second);
    UnregisterClassA("SetupTestStubborn", windowClass.hInstance);
}

TEST(CloseRunningInstances, ReturnsAtOnceWithoutSuchWindow) {
    memset(&installState, 0, sizeof installState);
    copyText(setupString(Slot::ProgName), kTextSize, "No window has this title 7f3a");
    DWORD start = GetTickCount();
    closeRunningInstances();
    EXPECT_LT(GetTickCount() - start, 250u);
}

}  // namespace
