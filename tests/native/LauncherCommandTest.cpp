// The launcher's reading of its command line: which lines run the uninstall,
// what the program is given, and where its path does not fit.
#include <gtest/gtest.h>

#include <string>

#include "launcher/LauncherCommand.h"

namespace {

TEST(LauncherCommand, OnlyMinusUAndMinusUMinusSRunTheUninstall) {
    const struct {
        const wchar_t* line;
        UninstallRequest expected;
    } cases[] = {
        {L"\"C:\\Program Files\\A\\A.exe\" -u", UninstallRequest::Asked},
        {L"\"C:\\Program Files\\A\\A.exe\" -U", UninstallRequest::Asked},
        {L"\"C:\\Program Files\\A\\A.exe\" -u -s", UninstallRequest::Quiet},
        {L"\"C:\\Program Files\\A\\A.exe\"\t -u \t-S  ", UninstallRequest::Quiet},
        {L"A.exe -u", UninstallRequest::Asked},
        // A quoted program name that holds " -u" is not an argument.
        {L"\"C:\\x -u\\A.exe\"", UninstallRequest::None},
        {L"\"C:\\A.exe\" -u -s -x", UninstallRequest::None},
        {L"\"C:\\A.exe\" -s -u", UninstallRequest::None},
        {L"\"C:\\A.exe\" -uninstall", UninstallRequest::None},
        {L"\"C:\\A.exe\" -u.txt", UninstallRequest::None},
        {L"\"C:\\A.exe\" \"-u\"", UninstallRequest::None},
        {L"\"C:\\A.exe\"", UninstallRequest::None},
        {L"", UninstallRequest::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        EXPECT_EQ(c.expected, uninstallRequest(argumentsOf(c.line)));
    }
}

// The program gets its own path in quotes and the arguments exactly as they
// came, blanks and quotes included.
TEST(LauncherCommand, TheProgramGetsTheSameArguments) {
    const struct {
        const wchar_t* line;
        const wchar_t* expected;
    } cases[] = {
        {L"\"C:\\P F\\A.exe\" \"C:\\doc 1.snote\"  x", L"\"C:\\P F\\A.program.exe\" \"C:\\doc 1.snote\"  x"},
        {L"A.exe /p", L"\"C:\\P F\\A.program.exe\" /p"},
        {L"\"C:\\P F\\A.exe\"", L"\"C:\\P F\\A.program.exe\""},
        {L"\"C:\\P F\\A.exe\"x", L"\"C:\\P F\\A.program.exe\" x"},
        {L"\"unclosed", L"\"C:\\P F\\A.program.exe\""},
    };
    const wchar_t* program = L"C:\\P F\\A.program.exe";
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        const wchar_t* arguments = argumentsOf(c.line);
        size_t units = commandLineUnits(program, arguments);
        std::wstring out(units + 8, L'\xBD');
        buildCommandLine(program, arguments, &out[0], units);
        EXPECT_EQ(std::wstring(c.expected), std::wstring(out.c_str()));
        EXPECT_LE(std::wstring(c.expected).size() + 1, units);
        EXPECT_EQ(L'\xBD', out[units]);  // nothing written past the units given
    }
    // Too small a buffer: cut, terminated, nothing past it.
    std::wstring small(8, L'\xBD');
    buildCommandLine(program, L" x", &small[0], 5);
    EXPECT_EQ(std::wstring(L"\"C:\\"), std::wstring(small.c_str()));
    EXPECT_EQ(L'\xBD', small[5]);
}

TEST(LauncherCommand, TheProgramLiesBesideUnderItsStoredName) {
    const struct {
        const wchar_t* own;
        size_t size;
        const wchar_t* expected;  // null: refused
    } cases[] = {
        {L"C:\\Program Files\\A\\Notes.exe", 260, L"C:\\Program Files\\A\\Notes.program.exe"},
        {L"C:\\A\\NOTES.EXE", 260, L"C:\\A\\NOTES.program.exe"},
        {L"C:\\A\\Notes.com", 260, nullptr},
        {L"exe", 260, nullptr},
        // "C:\A.program.exe" is 16 units and its terminator: 17 fit, 16 do not.
        {L"C:\\A.exe", 17, L"C:\\A.program.exe"},
        {L"C:\\A.exe", 16, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.own)));
        std::wstring out(c.size + 4, L'\xBD');
        bool ok = realProgramPath(c.own, &out[0], c.size);
        EXPECT_EQ(c.expected != nullptr, ok);
        if (ok) {
            EXPECT_EQ(std::wstring(c.expected), std::wstring(out.c_str()));
        }
        EXPECT_EQ(L'\xBD', out[c.size]);
    }
}

}  // namespace
