// The two dialog templates as stored in the built setup.exe: language
// neutral, classic templates, and every control where the dialogs expect it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "DialogTest.h"
#include "res/resource.h"

namespace {

struct ControlTemplate {
    int id;
    std::string className;  // predefined classes by name, in capitals
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = -1, y = -1, cx = 0, cy = 0;
    bool hasMenu = true;
    bool hasClass = true;
    int pointSize = 0;
    std::string font;
    std::vector<ControlTemplate> controls;
};

// Reads a classic dialog template; fails on an extended one or on a template
// that ends early.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}

    ::testing::AssertionResult read(DialogTemplate& dialog) {
        if (size_ >= 4 && word(0) == 1 && word(2) == 0xFFFF) return ::testing::AssertionFailure() << "extended";
        dialog.style = dword();
        dialog.exStyle = dword();
        int count = next();
        dialog.x = static_cast<short>(next());
        dialog.y = static_cast<short>(next());
        dialog.cx = static_cast<short>(next());
        dialog.cy = static_cast<short>(next());
        dialog.hasMenu = !nameOrOrdinal().empty();
        dialog.hasClass = !nameOrOrdinal().empty();
        text();  // the caption, a placeholder
        if (dialog.style & DS_SETFONT) {
            dialog.pointSize = next();
            dialog.font = text();
        }
        for (int i = 0; i < count && !overrun_; ++i) {
            at_ = (at_ + 3) & ~3u;
            ControlTemplate control;
            control.style = dword();
            control.exStyle = dword();
            control.x = static_cast<short>(next());
            control.y = static_cast<short>(next());
            control.cx = static_cast<short>(next());
            control.cy = static_cast<short>(next());
            control.id = next();
            control.className = nameOrOrdinal();
            nameOrOrdinal();  // the text, a placeholder
            at_ += next();    // creation data
            dialog.controls.push_back(control);
        }
        if (overrun_ || at_ > size_) return ::testing::AssertionFailure() << "template ends early";
        return ::testing::AssertionSuccess();
    }

private:
    unsigned word(DWORD at) const { return data_[at] | data_[at + 1] << 8; }
    unsigned next() {
        if (at_ + 2 > size_) {
            overrun_ = true;
            return 0;
        }
        unsigned value = word(at_);
        at_ += 2;
        return value;
    }
    DWORD dword() { return next() | next() << 16; }
    std::string text() {
        std::string result;
        for (unsigned c = next(); c != 0 && !overrun_; c = next()) result += static_cast<char>(c);
        return result;
    }
    // An ordinal (0xFFFF and a number) is given by the predefined class name
    // it stands for, or as "#number"; 0 alone gives "".
    std::string nameOrOrdinal() {
        unsigned first = next();
        if (first == 0) return "";
        if (first != 0xFFFF) {
            at_ -= 2;
            std::string name = text();
            for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            return name;
        }
        switch (unsigned ordinal = next()) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        default: return "#" + std::to_string(ordinal);
        }
    }

    const BYTE* data_;
    DWORD size_;
    DWORD at_ = 0;
    bool overrun_ = false;
};

const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kLabel = kChild | WS_GROUP | SS_LEFT | SS_CENTERIMAGE;
const DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
const DWORD kDefaultButton = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
const DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;

struct DialogCase {
    int resource;
    short cx, cy;
    std::vector<ControlTemplate> controls;  // in template (tab) order
};

const DialogCase kDialogs[] = {
    {IDD_INSTALL_PROMPT,
     377,
     62,
     {
         {IDC_DESCRIPTION, "STATIC", 10, 10, 300, 26, kChild | WS_GROUP | SS_CENTER, 0},
         {IDYES, "BUTTON", 320, 5, 50, 15, kDefaultButton, 0},
         {IDNO, "BUTTON", 320, 24, 50, 15, kButton, 0},
         {IDC_CHANGE, "BUTTON", 320, 43, 50, 14, kButton, 0},
         // Hidden and disabled: it only carries the base directory.
         {IDC_BASE_DIR, "EDIT", 0, 43, 6, 12, (kEdit & ~WS_VISIBLE) | WS_DISABLED, 0},
         {IDC_PROG_DIR_LABEL, "STATIC", 5, 43, 85, 12, kLabel, 0},
         {IDC_INSTALL_DIR, "EDIT", 95, 43, 220, 12, kEdit | ES_READONLY, 0},
     }},
    {IDD_DIRECTORY,
     377,
     46,
     {
         {IDC_BASE_DIR_LABEL, "STATIC", 5, 5, 85, 12, kLabel, 0},
         {IDC_BASE_DIR, "EDIT", 95, 5, 165, 12, kEdit, 0},
         {IDC_EXPLORE, "BUTTON", 265, 5, 50, 14, kButton, 0},
         {IDC_PROG_DIR_LABEL, "STATIC", 5, 25, 85, 12, kLabel, 0},
         {IDC_INSTALL_DIR, "STATIC", 95, 25, 220, 12, kLabel, 0},
         {IDOK, "BUTTON", 320, 5, 50, 15, kDefaultButton, 0},
         {IDCANCEL, "BUTTON", 320, 25, 50, 15, kButton, 0},
     }},
};

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

TEST(DialogTemplates, AreStoredOnceLanguageNeutralWithEveryControlInPlace) {
    SetupModule setup;
    ASSERT_TRUE(setup.get()) << "setup.exe not found beside the test";
    for (const DialogCase& expected : kDialogs) {
        SCOPED_TRACE(testing::Message() << "dialog " << expected.resource);
        std::vector<WORD> languages;
        EnumResourceLanguagesA(setup.get(), RT_DIALOG, MAKEINTRESOURCEA(expected.resource), collectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)}, languages);

        HRSRC found = FindResourceExA(setup.get(), RT_DIALOG, MAKEINTRESOURCEA(expected.resource), 0);
        ASSERT_TRUE(found);
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(setup.get(), found)));
        DialogTemplate dialog;
        ASSERT_TRUE(TemplateReader(data, SizeofResource(setup.get(), found)).read(dialog));

        EXPECT_EQ(kDialogStyle, dialog.style);
        EXPECT_EQ(0u, dialog.exStyle);
        EXPECT_EQ(0, dialog.x);
        EXPECT_EQ(0, dialog.y);
        EXPECT_EQ(expected.cx, dialog.cx);
        EXPECT_EQ(expected.cy, dialog.cy);
        EXPECT_FALSE(dialog.hasMenu);
        EXPECT_FALSE(dialog.hasClass);
        EXPECT_EQ(8, dialog.pointSize);
        // The shell's dialog font: a scalable face, so the dialogs stay sharp at any DPI.
        EXPECT_EQ("MS Shell Dlg", dialog.font);
        ASSERT_EQ(expected.controls.size(), dialog.controls.size());
        for (size_t i = 0; i < expected.controls.size(); ++i) {
            const ControlTemplate& want = expected.controls[i];
            const ControlTemplate& got = dialog.controls[i];
            SCOPED_TRACE(testing::Message() << "control " << i + 1 << ", id " << want.id);
            EXPECT_EQ(want.id, got.id);
            EXPECT_EQ(want.className, got.className);
            EXPECT_EQ(want.x, got.x);
            EXPECT_EQ(want.y, got.y);
            EXPECT_EQ(want.cx, got.cx);
            EXPECT_EQ(want.cy, got.cy);
            EXPECT_EQ(want.style, got.style) << std::hex << "0x" << want.style << " expected, 0x" << got.style;
            EXPECT_EQ(want.exStyle, got.exStyle);
        }
    }
}

}  // namespace
