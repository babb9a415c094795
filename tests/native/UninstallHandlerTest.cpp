// Which of the known handlers of "-u" a program's bytes show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UninstallHandler.h"

namespace {

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string(1, c) + '\0';
    return out;
}

TEST(UninstallHandler, TheProgramsBytesShowWhatRunsOnMinusU) {
    const std::string library = "MZ..." + wide("\" --remove") + "..(setup-uninstall.ini) is missing..";
    const struct {
        const char* what;
        std::string program;
        bool helperInProgram, launcher;
        UninstallHandler expected;
    } cases[] = {
        {"the library", library, false, false, UninstallHandler::Library},
        {"the launcher, whatever the program", "MZ plain", false, true, UninstallHandler::Launcher},
        {"setup-uninstall.exe named, 8-bit", "MZ..SETUP-Uninstall.EXE..", true, false, UninstallHandler::Helper},
        {"setup-uninstall.exe named, UTF-16", "MZ.." + wide("setup-uninstall.exe"), true, false, UninstallHandler::Helper},
        {"named, but not in Program/", "MZ..setup-uninstall.exe", false, false, UninstallHandler::Unknown},
        {"only half of the library's marks", "MZ" + wide("\" --remove"), false, false, UninstallHandler::Unknown},
        {"the marks as other text", "MZ\" --remove setup-uninstall.ini", false, false, UninstallHandler::Unknown},
        {"a plain program", "MZ plain", true, false, UninstallHandler::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, findUninstallHandler(bytes(c.program), c.helperInProgram, c.launcher));
    }
}

}  // namespace
