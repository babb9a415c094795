// The two dialogs of an installer, as shown, at several DPIs: every visible
// static text, button and edit is as large as its text needs in the dialog's
// font, so that nothing is cut off. Checked for the example setup.exe in each
// language of its setup INI, and for setup-languages.exe in every shipped
// language: each under a locale whose ANSI code page is its section's (the
// installer uses a section only then), measured in Unicode so that
// double-byte texts are measured as drawn. The installer is started for each
// language through the installed program's settings file (section Screen,
// key Language), which the installer reads before the user's locale.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "InstallerRun.h"
#include "ProcessRunner.h"
#include "TestSupport.h"
#include "res/resource.h"

namespace {

// The DPI Wine gives the processes started after it is set.
class ScopedLogPixels {
public:
    explicit ScopedLogPixels(DWORD dpi) {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_,
                        nullptr);
        RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~ScopedLogPixels() {
        RegDeleteValueA(key_, "LogPixels");
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
};

// The font a dialog template names (DS_SETFONT), read from setup.exe.
struct TemplateFont {
    int pointSize = 0;
    std::wstring face;
    short cx = 0, cy = 0;  // the dialog's size in dialog units
};

bool readTemplateFont(HMODULE setup, int resource, TemplateFont& font) {
    HRSRC found = FindResourceExA(setup, RT_DIALOG, MAKEINTRESOURCEA(resource), 0);
    if (!found) return false;
    const WORD* words = static_cast<const WORD*>(LockResource(LoadResource(setup, found)));
    const size_t count = SizeofResource(setup, found) / 2;
    // Classic template: style, extended style (two words each), control
    // count, x, y, cx, cy; then menu, class and caption (each 0, an ordinal
    // 0xFFFF n, or a text), then the point size and the face name.
    size_t at = 9;
    if (count < at || !(words[0] & DS_SETFONT)) return false;
    font.cx = static_cast<short>(words[7]);
    font.cy = static_cast<short>(words[8]);
    for (int field = 0; field < 3 && at < count; ++field) {
        if (words[at] == 0xFFFF) {
            at += 2;
            continue;
        }
        while (at < count && words[at] != 0) ++at;
        ++at;
    }
    if (at >= count) return false;
    font.pointSize = words[at++];
    for (; at < count && words[at] != 0; ++at) font.face += static_cast<wchar_t>(words[at]);
    return at < count;
}

// A device context with the dialog's font made as the dialog manager makes
// it at `dpi`.
class Measurer {
public:
    Measurer(const TemplateFont& font, int dpi) : context_(CreateCompatibleDC(nullptr)) {
        LOGFONTW logFont = {};
        logFont.lfHeight = -MulDiv(font.pointSize, dpi, 72);
        logFont.lfWeight = FW_NORMAL;
        logFont.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(logFont.lfFaceName, font.face.c_str(), LF_FACESIZE);
        font_ = CreateFontIndirectW(&logFont);
        old_ = SelectObject(context_, font_);
    }
    ~Measurer() {
        SelectObject(context_, old_);
        DeleteObject(font_);
        DeleteDC(context_);
    }

    // The dialog base units of this font, as the dialog manager reckons them.
    SIZE baseUnits() const {
        static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE extent = {};
        GetTextExtentPoint32A(context_, kLetters, 52, &extent);
        TEXTMETRICA metrics = {};
        GetTextMetricsA(context_, &metrics);
        return {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
    }

    // The size `text` takes: on one line, or broken into lines `width`
    // pixels wide (wider when a word does not fit). '&' marks an access key.
    SIZE textSize(const std::wstring& text, int width, bool wordBreak) const {
        RECT rect = {0, 0, width, 0};
        DrawTextW(context_, text.c_str(), -1, &rect, DT_CALCRECT | (wordBreak ? DT_WORDBREAK : DT_SINGLELINE));
        return {rect.right, rect.bottom};
    }

private:
    HDC context_;
    HFONT font_;
    HGDIOBJ old_;
};

// What a control needs around its text: a button its frame and focus
// rectangle, an edit its border and margins, a static text nothing.
SIZE framing(const ControlInfo& control, SIZE base) {
    if (control.isButton()) return {4 * GetSystemMetrics(SM_CXEDGE) + 2, 2 * GetSystemMetrics(SM_CYEDGE) + 2};
    if (control.className == "Edit") return {2 + base.cx, 2};
    return {0, 0};
}

// One dialog as shown: every visible control of the three kinds against its
// text's needs; each shortfall as one line.
void checkDialog(const WindowInfo& dialog, const char* name, const TemplateFont& font, int dpi,
                 const std::string& language, std::vector<std::string>& faults) {
    const Measurer measurer(font, dpi);
    const SIZE base = measurer.baseUnits();
    const std::string where = std::string(name) + " in " + language + " at " + std::to_string(dpi) + " DPI: ";
    // The dialog was made in this font at this DPI: its size in pixels is
    // its size in dialog units on these base units.
    const int width = dialog.clientRect.right, height = dialog.clientRect.bottom;
    if (abs(width - MulDiv(font.cx, base.cx, 4)) > 1 || abs(height - MulDiv(font.cy, base.cy, 8)) > 1) {
        faults.push_back(where + "the dialog is " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels, not " + std::to_string(font.cx) + " x " + std::to_string(font.cy) +
                         " dialog units of " + utf8(font.face) + " " + std::to_string(font.pointSize) + " pt");
        return;
    }
    for (const ControlInfo& control : dialog.controls) {
        const bool measured = control.className == "Static" || control.className == "Edit" || control.isButton();
        if (!control.visible || !measured) continue;
        const std::wstring shown = windowTextW(control.hwnd);
        if (shown.empty()) continue;
        const int haveWidth = control.rect.right - control.rect.left;
        const int haveHeight = control.rect.bottom - control.rect.top;
        const SIZE frame = framing(control, base);
        // A static text without SS_CENTERIMAGE breaks its text into lines.
        const bool wordBreak = control.className == "Static" && !(control.style & SS_CENTERIMAGE);
        const SIZE text = measurer.textSize(shown, haveWidth - frame.cx, wordBreak);
        const int needWidth = text.cx + frame.cx, needHeight = text.cy + frame.cy;
        if (needWidth <= haveWidth && needHeight <= haveHeight) continue;
        faults.push_back(where + "control " + std::to_string(control.id) + " (" + control.className + ") \"" +
                         utf8(shown) + "\" needs " + std::to_string(needWidth) + " x " +
                         std::to_string(needHeight) + " pixels, has " + std::to_string(haveWidth) + " x " +
                         std::to_string(haveHeight) + ": short by " +
                         std::to_string(needWidth > haveWidth ? needWidth - haveWidth : 0) + " x " +
                         std::to_string(needHeight > haveHeight ? needHeight - haveHeight : 0));
    }
}

// The sections of a setup INI that hold texts: two-letter names.
std::vector<std::string> languageSections(const std::string& iniFile) {
    std::vector<char> names(65536);
    DWORD length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), iniFile.c_str());
    std::vector<std::string> languages;
    for (const char* name = names.data(); name < names.data() + length && *name; name += strlen(name) + 1) {
        if (strlen(name) == 2) languages.push_back(name);
    }
    return languages;
}

// The code page a built section records (0: none, read as the system's).
unsigned recordedCodePage(const std::string& iniFile, const std::string& section) {
    return GetPrivateProfileIntA(section.c_str(), "CodePage", 0, iniFile.c_str());
}

// The locales the shipped languages are checked under, one per ANSI code page
// (CMakeLists.txt runs e2e_text_fit under each as e2e_text_fit.<locale>).
struct LocaleRun {
    const char* lang;
    unsigned codePage;  // the ANSI code page Wine gives it
};
const LocaleRun kLocaleRuns[] = {
    {"C.UTF-8", 1252},     {"pl_PL.UTF-8", 1250}, {"ru_RU.UTF-8", 1251}, {"el_GR.UTF-8", 1253},
    {"tr_TR.UTF-8", 1254}, {"ja_JP.UTF-8", 932},  {"ko_KR.UTF-8", 949},  {"zh_CN.UTF-8", 936},
};

std::string currentLang() {
    char lang[64] = "";
    GetEnvironmentVariableA("LANG", lang, sizeof lang);
    return lang;
}

const LocaleRun* currentLocaleRun() {
    const std::string lang = currentLang();
    for (const LocaleRun& run : kLocaleRuns) {
        if (lang == run.lang) return &run;
    }
    return nullptr;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

// One installer, opened as data: its dialog fonts and its setup INI.
class TextFit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Measured in the installer's pixels, as it is DPI aware.
        using SetProcessDpiAwareFn = BOOL(WINAPI*)();
        auto aware = reinterpret_cast<SetProcessDpiAwareFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDPIAware")));
        if (aware) aware();
    }

    void open(const std::string& installer) {
        installer_ = installer;
        setup_ = LoadLibraryExA(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(setup_) << installer;
        ASSERT_TRUE(readTemplateFont(setup_, IDD_INSTALL_PROMPT, promptFont_));
        ASSERT_TRUE(readTemplateFont(setup_, IDD_DIRECTORY, directoryFont_));
        HRSRC found = FindResourceExA(setup_, RT_RCDATA, MAKEINTRESOURCEA(IDR_SETUP_INI), 0);
        ASSERT_TRUE(found);
        const char* ini = static_cast<const char*>(LockResource(LoadResource(setup_, found)));
        iniFile_ = dir_ / "setup.ini";
        ASSERT_TRUE(writeFile(iniFile_, std::string(ini, SizeofResource(setup_, found))));
        char progFile[MAX_PATH] = "";
        GetPrivateProfileStringA("Settings", "ProgFile", "", progFile, sizeof progFile, iniFile_.c_str());
        char windows[MAX_PATH] = "";
        GetWindowsDirectoryA(windows, sizeof windows);
        settingsFile_ = std::string(windows) + "\\" + progFile + ".ini";
    }
    void TearDown() override {
        if (!settingsFile_.empty()) DeleteFileA(settingsFile_.c_str());
        if (setup_) FreeLibrary(setup_);
    }

    // The text of `key` that `language` shows, as Unicode: the section's
    // bytes read in this process's ANSI code page, which is the installer's.
    std::wstring sectionText(const std::string& language, const char* key) const {
        wchar_t text[1024] = L"";
        const std::wstring section(language.begin(), language.end());
        const std::wstring name(key, key + strlen(key));
        const std::wstring file(iniFile_.begin(), iniFile_.end());
        GetPrivateProfileStringW(section.c_str(), name.c_str(), L"", text, 1024, file.c_str());
        return text;
    }

    // Runs the installer in `language`: measures the prompt, opens the
    // directory dialog with Change and measures it, then cancels both. The
    // prompt's Yes button must show the section's own text: a section the
    // installer passed over for English would be measured in English.
    void checkLanguage(const std::string& language, int dpi, std::vector<std::string>& faults) {
        ASSERT_TRUE(writeFile(settingsFile_, "[Screen]\r\nLanguage=" + language + "\r\n"));
        const std::wstring yes = sectionText(language, "InstallYes");
        bool promptSeen = false, directorySeen = false;
        std::wstring yesShown;
        RunOptions run;
        run.commandLine = quoteArgument(installer_);
        run.responder = [&](const WindowInfo& window) {
            if (window.isMessageBox()) return Response::press(IDOK);
            if (window.control(IDC_EXPLORE)) {
                directorySeen = true;
                checkDialog(window, "IDD_DIRECTORY", directoryFont_, dpi, language, faults);
                return Response::press(IDCANCEL);
            }
            if (promptSeen) return Response::press(IDNO);
            promptSeen = true;
            if (const ControlInfo* button = window.control(IDYES)) yesShown = windowTextW(button->hwnd);
            checkDialog(window, "IDD_INSTALL_PROMPT", promptFont_, dpi, language, faults);
            return Response::press(IDC_CHANGE);
        };
        RunResult result = runProgram(run);
        ASSERT_TRUE(result.started && !result.timedOut) << result.describe();
        EXPECT_TRUE(promptSeen && directorySeen) << language << ": " << result.describe();
        if (!yes.empty()) {
            EXPECT_EQ(utf8(yes), utf8(yesShown)) << language << " at " << dpi << " DPI: not the section's texts";
        }
    }

    void checkLanguages(const std::vector<std::string>& languages, std::initializer_list<int> dpis) {
        std::vector<std::string> faults;
        for (int dpi : dpis) {
            ScopedLogPixels logPixels(static_cast<DWORD>(dpi));
            for (const std::string& language : languages) {
                SCOPED_TRACE(language + " at " + std::to_string(dpi) + " DPI");
                checkLanguage(language, dpi, faults);
            }
        }
        EXPECT_TRUE(faults.empty()) << joined(faults);
    }

    TempDir dir_;
    std::string installer_;
    HMODULE setup_ = nullptr;
    TemplateFont promptFont_, directoryFont_;
    std::string iniFile_;
    std::string settingsFile_;
};

TEST_F(TextFit, TheExampleFitsInEachOfItsLanguagesAt96To192Dpi) {
    // Its sections record no code page: they are Western texts.
    if (currentLang() != "C.UTF-8") GTEST_SKIP() << "runs under C.UTF-8";
    ASSERT_NO_FATAL_FAILURE(open(ownFolder() + "\\setup.exe"));
    const std::vector<std::string> languages = languageSections(iniFile_);
    ASSERT_FALSE(languages.empty());
    checkLanguages(languages, {96, 144, 192});
}

TEST_F(TextFit, EveryShippedLanguageOfThisCodePageFitsAt96To192Dpi) {
    const LocaleRun* locale = currentLocaleRun();
    if (!locale) GTEST_SKIP() << currentLang() << " is not a locale of the check";
    // A locale glibc lacks gives 1252, under which the other code pages'
    // sections would all be passed over: scripts/install-deps.sh makes them.
    ASSERT_EQ(locale->codePage, GetACP()) << locale->lang << " is not a locale of this machine";
    ASSERT_NO_FATAL_FAILURE(open(ownFolder() + "\\setup-languages.exe"));
    std::vector<std::string> languages;
    for (const std::string& section : languageSections(iniFile_)) {
        const unsigned codePage = recordedCodePage(iniFile_, section);
        if (codePage == GetACP() || (codePage == 0 && GetACP() == 1252)) languages.push_back(section);
    }
    ASSERT_FALSE(languages.empty());
    checkLanguages(languages, {96, 144, 192});
}

TEST_F(TextFit, EveryCodePageOfAShippedLanguageHasALocaleRun) {
    ASSERT_NO_FATAL_FAILURE(open(ownFolder() + "\\setup-languages.exe"));
    for (const std::string& section : languageSections(iniFile_)) {
        const unsigned codePage = recordedCodePage(iniFile_, section);
        if (codePage == 0) continue;
        bool covered = false;
        for (const LocaleRun& run : kLocaleRuns) covered = covered || run.codePage == codePage;
        EXPECT_TRUE(covered) << "[" << section << "] is in code page " << codePage
                             << ", which no locale of the check has: add one to kLocaleRuns and CMakeLists.txt";
    }
}

}  // namespace
