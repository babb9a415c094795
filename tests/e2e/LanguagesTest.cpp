// The installer built from a UTF-8 setup INI that has only [Settings] and
// [EN], run under the locale of each code-page family: the install prompt's
// texts and buttons, read back from the real windows as Unicode, are the
// shipped UTF-8 texts of the user's language; a section recorded in a code
// page other than the system's gives the English texts instead.
#include <gtest/gtest.h>

#include <string.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CustomInstaller.h"
#include "InstallerRun.h"
#include "ProcessRunner.h"
#include "Responders.h"
#include "TestSupport.h"
#include "res/resource.h"

namespace {

const char kProgName[] = "Lingua Notes";
const char kProgVersion[] = "1.2";

std::wstring wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

// The keys of a section of a UTF-8 INI file beside the test.
std::map<std::string, std::string> readSection(const std::string& file, const std::string& section) {
    std::ifstream in(ownFolder() + "\\" + file, std::ios::binary);
    std::map<std::string, std::string> keys;
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            if (inSection) break;
            inSection = line == "[" + section + "]";
        } else if (inSection && !line.empty() && line[0] != ';' && line.find('=') != std::string::npos) {
            keys.emplace(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
        }
    }
    return keys;
}

// A text as the installer shows it: %s takes ProgName, ProgVersion, ProgName
// in turn, %% is a percent sign, \n a line break.
std::string formatted(const std::string& text) {
    const char* args[] = {kProgName, kProgVersion, kProgName};
    std::string out;
    size_t next = 0;
    for (size_t p = 0; p < text.size(); ++p) {
        if (text.compare(p, 2, "%s") == 0) {
            out += next < 3 ? args[next++] : "";
            ++p;
        } else if (text.compare(p, 2, "%%") == 0) {
            out += '%';
            ++p;
        } else if (text.compare(p, 2, "\\n") == 0) {
            out += "\r\n";
            ++p;
        } else {
            out += text[p];
        }
    }
    return out;
}

// The prompt's texts, read as Unicode while it shows; No then cancels.
struct PromptTexts {
    bool seen = false;
    std::wstring caption;
    std::map<int, std::wstring> controls;
};

const int kPromptControls[] = {IDC_DESCRIPTION, IDC_PROG_DIR_LABEL, IDC_CHANGE, IDYES, IDNO};

// Runs the installer; its locale and ANSI code page are this process's,
// which Wine takes from LANG (e2e_languages.<locale> sets it).
RunResult runInstaller(const std::string& installer, PromptTexts& prompt) {
    RunOptions options;
    options.commandLine = quoteArgument(installer);
    options.timeoutMs = 60000;
    options.responder = [&](const WindowInfo& window) {
        if (window.control(IDC_DESCRIPTION)) {
            prompt.seen = true;
            prompt.caption = windowTextW(window.hwnd);
            for (int id : kPromptControls) {
                if (const ControlInfo* c = window.control(id)) prompt.controls[id] = windowTextW(c->hwnd);
            }
            return Response::press(IDNO);
        }
        if (window.isMessageBox()) return Response::command(IDOK);
        return Response::close().markUnexpected("not expected");
    };
    return runProgram(options);
}

void expectPrompt(const PromptTexts& prompt, const std::map<std::string, std::string>& texts) {
    ASSERT_TRUE(prompt.seen);
    EXPECT_EQ(wide(kProgName), prompt.caption);
    const std::pair<int, const char*> keys[] = {{IDC_DESCRIPTION, "InstallDesc"}, {IDC_PROG_DIR_LABEL, "InstallProgDir"},
                                                {IDC_CHANGE, "InstallChange"},    {IDYES, "InstallYes"},
                                                {IDNO, "InstallNo"}};
    for (const auto& k : keys) {
        auto expected = texts.find(k.second);
        ASSERT_NE(texts.end(), expected) << k.second;
        auto shown = prompt.controls.find(k.first);
        ASSERT_NE(prompt.controls.end(), shown) << k.second;
        EXPECT_EQ(wide(formatted(expected->second)), shown->second)
            << k.second << ": shown \"" << utf8(shown->second) << "\", written \"" << expected->second << "\"";
    }
}

std::string installer() { return ownFolder() + "\\setup-languages.exe"; }

struct LocaleCase {
    const char* lang;
    unsigned codePage;    // the ANSI code page Wine gives it
    const char* file;     // the UTF-8 texts its users get
    const char* section;
};

const LocaleCase kLocales[] = {
    {"C.UTF-8", 1252, "languages.ini", "EN"},  // English: the INI's own texts
    {"ru_RU.UTF-8", 1251, "languages-texts\\RU.ini", "RU"},
    {"el_GR.UTF-8", 1253, "languages-texts\\EL.ini", "EL"},
    {"pl_PL.UTF-8", 1250, "languages-texts\\PL.ini", "PL"},
    {"tr_TR.UTF-8", 1254, "languages-texts\\TR.ini", "TR"},
    {"ja_JP.UTF-8", 932, "languages-texts\\JP.ini", "JP"},
    {"ko_KR.UTF-8", 949, "languages-texts\\KO.ini", "KO"},
    {"zh_CN.UTF-8", 936, "languages-texts\\CH.ini", "CH"},
    {"de_DE.UTF-8", 1252, "languages-texts\\DE.ini", "DE"},
};

// The case of the locale this run has.
const LocaleCase* currentLocale() {
    char lang[64] = "";
    GetEnvironmentVariableA("LANG", lang, sizeof lang);
    for (const LocaleCase& c : kLocales) {
        if (strcmp(c.lang, lang) == 0) return &c;
    }
    return nullptr;
}

TEST(LanguagesTest, TheLocalesLanguageIsShownExactly) {
    const LocaleCase* c = currentLocale();
    if (!c) GTEST_SKIP() << "not a locale of the test";
    // A locale glibc lacks gives English and 1252, which would pass the
    // English case: scripts/install-deps.sh generates them.
    ASSERT_EQ(c->codePage, GetACP()) << c->lang << " is not a locale of this machine";
    PromptTexts prompt;
    RunResult run = runInstaller(installer(), prompt);
    ASSERT_TRUE(run.started) << run.describe();
    ASSERT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    expectPrompt(prompt, readSection(c->file, c->section));
}

TEST(LanguagesTest, ASectionOfAnotherCodePageGivesTheEnglishTexts) {
    if (GetACP() != 1251) GTEST_SKIP() << "runs under ru_RU.UTF-8";
    // The Russian section recorded as Central European: under a Russian
    // system (1251) its bytes would read as other letters.
    std::optional<std::string> ini = readDataResource(installer(), kSetupIniResource);
    ASSERT_TRUE(ini.has_value());
    const std::string recorded = "[RU]\r\nCodePage=1251\r\n";
    size_t at = ini->find(recorded);
    ASSERT_NE(std::string::npos, at);
    ini->replace(at, recorded.size(), "[RU]\r\nCodePage=1250\r\n");
    TempDir dir;
    std::string changed = dir / "setup-fallback.exe";
    std::string error;
    ASSERT_TRUE(makeInstaller(installer(), changed, {ResourceChange::replace(kSetupIniResource, *ini)}, &error))
        << error;

    PromptTexts prompt;
    RunResult run = runInstaller(changed, prompt);
    ASSERT_TRUE(run.started) << run.describe();
    ASSERT_FALSE(run.timedOut) << run.describe();
    expectPrompt(prompt, readSection("languages.ini", "EN"));
}

}  // namespace
