// The example setup.exe's two dialogs, as shown, in every language its setup
// INI has and at 96, 144 and 192 DPI: every visible static text, button and edit
// is as large as its text needs in the dialog's font, so that nothing is cut
// off. The installer is started for each language through the installed
// program's settings file (section Screen, key Language), which the
// installer reads before the user's locale.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    std::string face;
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
    for (; at < count && words[at] != 0; ++at) font.face += static_cast<char>(words[at]);
    return at < count;
}

// A device context with the dialog's font made as the dialog manager makes
// it at `dpi`.
class Measurer {
public:
    Measurer(const TemplateFont& font, int dpi) : context_(CreateCompatibleDC(nullptr)) {
        LOGFONTA logFont = {};
        logFont.lfHeight = -MulDiv(font.pointSize, dpi, 72);
        logFont.lfWeight = FW_NORMAL;
        logFont.lfCharSet = DEFAULT_CHARSET;
        lstrcpynA(logFont.lfFaceName, font.face.c_str(), LF_FACESIZE);
        font_ = CreateFontIndirectA(&logFont);
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
    SIZE textSize(const std::string& text, int width, bool wordBreak) const {
        RECT rect = {0, 0, width, 0};
        DrawTextA(context_, text.c_str(), -1, &rect, DT_CALCRECT | (wordBreak ? DT_WORDBREAK : DT_SINGLELINE));
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
                         " dialog units of " + font.face + " " + std::to_string(font.pointSize) + " pt");
        return;
    }
    for (const ControlInfo& control : dialog.controls) {
        const bool measured = control.className == "Static" || control.className == "Edit" || control.isButton();
        if (!control.visible || !measured || control.text.empty()) continue;
        const int haveWidth = control.rect.right - control.rect.left;
        const int haveHeight = control.rect.bottom - control.rect.top;
        const SIZE frame = framing(control, base);
        // A static text without SS_CENTERIMAGE breaks its text into lines.
        const bool wordBreak = control.className == "Static" && !(control.style & SS_CENTERIMAGE);
        const SIZE text = measurer.textSize(control.text, haveWidth - frame.cx, wordBreak);
        const int needWidth = text.cx + frame.cx, needHeight = text.cy + frame.cy;
        if (needWidth <= haveWidth && needHeight <= haveHeight) continue;
        faults.push_back(where + "control " + std::to_string(control.id) + " (" + control.className + ") \"" +
                         control.text + "\" needs " + std::to_string(needWidth) + " x " +
                         std::to_string(needHeight) + " pixels, has " + std::to_string(haveWidth) + " x " +
                         std::to_string(haveHeight) + ": short by " +
                         std::to_string(needWidth > haveWidth ? needWidth - haveWidth : 0) + " x " +
                         std::to_string(needHeight > haveHeight ? needHeight - haveHeight : 0));
    }
}

// The sections of the setup INI that hold texts: two-letter names.
std::vector<std::string> languageSections(const std::string& iniFile) {
    std::vector<char> names(65536);
    DWORD length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), iniFile.c_str());
    std::vector<std::string> languages;
    for (const char* name = names.data(); name < names.data() + length && *name; name += strlen(name) + 1) {
        if (strlen(name) == 2) languages.push_back(name);
    }
    return languages;
}

class TextFit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Measured in the installer's pixels, as it is DPI aware.
        using SetProcessDpiAwareFn = BOOL(WINAPI*)();
        auto aware = reinterpret_cast<SetProcessDpiAwareFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDPIAware")));
        if (aware) aware();
    }

    void SetUp() override {
        setup_ = LoadLibraryExA(setupPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(setup_) << setupPath();
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
        DeleteFileA(settingsFile_.c_str());
        if (setup_) FreeLibrary(setup_);
    }

    static std::string setupPath() { return ownFolder() + "\\setup.exe"; }

    // Runs setup.exe in `language`: measures the prompt, opens the directory
    // dialog with Change and measures it, then cancels both.
    void checkLanguage(const std::string& language, int dpi, std::vector<std::string>& faults) {
        ASSERT_TRUE(writeFile(settingsFile_, "[Screen]\r\nLanguage=" + language + "\r\n"));
        bool promptSeen = false, directorySeen = false;
        RunOptions run;
        run.commandLine = quoteArgument(setupPath());
        run.responder = [&](const WindowInfo& window) {
            if (window.isMessageBox()) return Response::press(IDOK);
            if (window.control(IDC_EXPLORE)) {
                directorySeen = true;
                checkDialog(window, "IDD_DIRECTORY", directoryFont_, dpi, language, faults);
                return Response::press(IDCANCEL);
            }
            if (promptSeen) return Response::press(IDNO);
            promptSeen = true;
            checkDialog(window, "IDD_INSTALL_PROMPT", promptFont_, dpi, language, faults);
            return Response::press(IDC_CHANGE);
        };
        RunResult result = runProgram(run);
        ASSERT_TRUE(result.started && !result.timedOut) << result.describe();
        EXPECT_TRUE(promptSeen && directorySeen) << language << ": " << result.describe();
    }

    TempDir dir_;
    HMODULE setup_ = nullptr;
    TemplateFont promptFont_, directoryFont_;
    std::string iniFile_;
    std::string settingsFile_;
};

TEST_F(TextFit, EveryTextOfBothDialogsFitsInEveryLanguageAt96To192Dpi) {
    const std::vector<std::string> languages = languageSections(iniFile_);
    ASSERT_FALSE(languages.empty());
    std::vector<std::string> faults;
    for (int dpi : {96, 144, 192}) {
        ScopedLogPixels logPixels(static_cast<DWORD>(dpi));
        for (const std::string& language : languages) {
            SCOPED_TRACE(language + " at " + std::to_string(dpi) + " DPI");
            checkLanguage(language, dpi, faults);
        }
    }
    std::string all;
    for (const std::string& fault : faults) all += fault + "\n";
    EXPECT_TRUE(faults.empty()) << all;
}

}  // namespace
