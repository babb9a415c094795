// The install prompt and the directory dialog, shown for real from the
// templates of the built setup.exe and answered from a worker thread.
#include "DialogTest.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "DialogRunner.h"
#include "TestSupport.h"
#include "common/Format.h"
#include "common/InstallState.h"
#include "driver/RunSetup.h"
#include "res/resource.h"
#include "ui/DirectoryDialog.h"
#include "ui/InstallPrompt.h"

std::string testProgramDir() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir = path;
    return dir.substr(0, dir.rfind('\\'));
}

SetupModule::SetupModule()
    : module_(LoadLibraryExA((testProgramDir() + "\\setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}

SetupModule::~SetupModule() {
    if (module_) FreeLibrary(module_);
}

namespace {

struct SlotText {
    Slot slot;
    const char* text;
};

const SlotText kTexts[] = {
    {Slot::ProgName, "Sample Notes"},
    {Slot::ProgDir, "Tools"},
    {Slot::InstallDesc, "Install Sample Notes 1.2 on this computer?"},
    {Slot::InstallBaseDir, "Base folder:"},
    {Slot::InstallProgDir, "Install to:"},
    {Slot::InstallChange, "Change..."},
    {Slot::InstallBrowse, "Explore"},
    {Slot::InstallOk, "OK"},
    {Slot::InstallCancel, "Cancel"},
    {Slot::InstallYes, "Yes"},
    {Slot::InstallNo, "No"},
    {Slot::NotDir, "This is not a folder."},
};

// What Explore asked to start; written on the dialog thread while the script
// waits for its sent command.
struct Launch {
    std::string program;
    std::string argument;
};
std::vector<Launch> launches;

void recordLaunch(const char* program, const char* argument) { launches.push_back({program, argument}); }

std::string programFilesDir() {
    char path[kPathSize] = "";
    readProgramFilesDir(path);
    return path;
}

// Where the dialog would be if it were centred on the screen.
::testing::AssertionResult isCentred(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    HDC context = GetDC(window);
    int left = (GetDeviceCaps(context, HORZRES) - (rect.right - rect.left)) / 2;
    int top = (GetDeviceCaps(context, VERTRES) - (rect.bottom - rect.top)) / 2;
    ReleaseDC(window, context);
    if (rect.left == left && rect.top == top) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at " << rect.left << "," << rect.top << ", centred is " << left
                                         << "," << top;
}

struct ControlState {
    int id;
    std::string text;
    bool visible;
};

void expectControls(HWND dialog, const std::vector<ControlState>& controls) {
    for (const ControlState& control : controls) {
        SCOPED_TRACE(testing::Message() << "control " << control.id);
        EXPECT_EQ(control.text, itemText(dialog, control.id));
        EXPECT_EQ(control.visible, isItemVisible(dialog, control.id));
    }
}

// Answers the NotDir message box that `dialog` should show now.
void expectNotDir(DWORD thread, HWND dialog, const std::string& caption) {
    HWND box = waitForMessageBox(thread);
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(dialog, GetWindow(box, GW_OWNER));
    EXPECT_EQ("This is not a folder.", itemText(box, 0xFFFF));
    EXPECT_EQ(caption, windowText(box));
    EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL)) << "a single OK button";
    pressButton(box, IDOK);
    EXPECT_TRUE(waitUntilGone(box));
}

// A key or button that answers a dialog.
struct Answer {
    const char* name;
    void (*press)(HWND dialog);
};

const Answer kConfirmations[] = {
    {"Yes button", [](HWND dialog) { pressButton(dialog, IDYES); }},
    {"Enter", [](HWND dialog) { pressKey(dialog, VK_RETURN); }},
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&installState, 0, sizeof installState);
        ASSERT_TRUE(setup_.get()) << "setup.exe not found beside the test";
        installState.instance = setup_.get();
        installState.freshInstall = 1;
        for (const SlotText& text : kTexts) copyText(setupString(text.slot), kTextSize, text.text);
        launches.clear();
        exploreLauncher = recordLaunch;
        folderA_ = dir_ / "Folder A";
        folderB_ = dir_ / "Folder B";
        file_ = dir_ / "file.txt";
        CreateDirectoryA(folderA_.c_str(), nullptr);
        CreateDirectoryA(folderB_.c_str(), nullptr);
        writeFile(file_, "not a folder");
    }
    void TearDown() override { exploreLauncher = nullptr; }

    void setBaseDir(const std::string& dir) { copyText(installState.baseDir, kPathSize, dir.c_str()); }

    // An existing folder whose path is `length` characters long.
    std::string folderOfLength(size_t length) {
        std::string folder = dir_.path() + "\\" + std::string(length - dir_.path().size() - 1, 'd');
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        return folder;
    }

    INT_PTR runPrompt(const std::function<void(DWORD)>& script) {
        return runDialog(installState.instance, IDD_INSTALL_PROMPT, nullptr, installPromptProc, script);
    }
    INT_PTR runDirectoryDialog(const std::function<void(DWORD)>& script) {
        return runDialog(installState.instance, IDD_DIRECTORY, nullptr, directoryDialogProc, script);
    }

    SetupModule setup_;
    TempDir dir_;
    std::string folderA_, folderB_, file_;
};

TEST_F(DialogTest, PromptShowsItsTextsAndThePreviewCentred) {
    setBaseDir("C:\\Apps");
    INT_PTR result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        EXPECT_EQ("Sample Notes", windowText(prompt));
        expectControls(prompt, {{IDC_DESCRIPTION, "Install Sample Notes 1.2 on this computer?", true},
                                {IDYES, "Yes", true},
                                {IDNO, "No", true},
                                {IDC_CHANGE, "Change...", true},
                                {IDC_BASE_DIR, "C:\\Apps", false},
                                {IDC_PROG_DIR_LABEL, "Install to:", true},
                                {IDC_INSTALL_DIR, "C:\\Apps\\Tools", true}});
        EXPECT_TRUE(isItemEnabled(prompt, IDC_CHANGE));
        EXPECT_TRUE(isCentred(prompt));
        pressButton(prompt, IDNO);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_STREQ("C:\\Apps", installState.baseDir);
}

TEST_F(DialogTest, PromptNoEscapeAndCloseBoxAllGiveCancel) {
    const Answer leaving[] = {
        {"No button", [](HWND dialog) { pressButton(dialog, IDNO); }},
        {"Escape", [](HWND dialog) { pressKey(dialog, VK_ESCAPE); }},
        {"close box", pressCloseBox},
    };
    for (const Answer& answer : leaving) {
        SCOPED_TRACE(answer.name);
        setBaseDir(folderA_);
        INT_PTR result = runPrompt([&](DWORD thread) {
            HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
            ASSERT_TRUE(prompt);
            answer.press(prompt);
            EXPECT_TRUE(waitUntilGone(prompt));
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(folderA_, installState.baseDir);
    }
}

TEST_F(DialogTest, PromptYesAndEnterAcceptAnExistingDirectory) {
    for (const Answer& answer : kConfirmations) {
        SCOPED_TRACE(answer.name);
        setBaseDir(folderA_);
        INT_PTR result = runPrompt([&](DWORD thread) {
            HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
            ASSERT_TRUE(prompt);
            answer.press(prompt);
            EXPECT_TRUE(waitUntilGone(prompt));
        });
        EXPECT_EQ(IDYES, result);
        EXPECT_EQ(folderA_, installState.baseDir);
    }
}

struct RefusedCase {
    const char* name;
    std::string baseDir;
};

TEST_F(DialogTest, PromptRefusesWhatIsNoUsableDirectory) {
    const RefusedCase cases[] = {
        {"empty", ""},
        {"missing", dir_ / "missing"},
        {"a file", file_},
        // With a backslash and "Tools" the install folder would be 258
        // characters: past the folder limit that the install step keeps.
        {"install folder too long", folderOfLength(252)},
    };
    for (const RefusedCase& c : cases) {
        for (const Answer& answer : kConfirmations) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << answer.name);
            setBaseDir(c.baseDir);
            INT_PTR result = runPrompt([&](DWORD thread) {
                HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
                ASSERT_TRUE(prompt);
                answer.press(prompt);
                expectNotDir(thread, prompt, c.baseDir);
                ASSERT_EQ(prompt, waitForDialogWith(thread, IDC_DESCRIPTION)) << "the prompt stays open";
                pressButton(prompt, IDNO);
            });
            EXPECT_EQ(IDCANCEL, result);
            EXPECT_EQ(c.baseDir, installState.baseDir);
        }
    }

    // One character less fits.
    setBaseDir(folderOfLength(251));
    EXPECT_EQ(IDYES, runPrompt([](DWORD thread) { pressButton(waitForDialogWith(thread, IDC_DESCRIPTION), IDYES); }));
}

TEST_F(DialogTest, PromptForAnExistingInstallationShowsOnlyTheQuestion) {
    installState.freshInstall = 0;
    setBaseDir(folderA_);
    INT_PTR result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        expectControls(prompt, {{IDC_DESCRIPTION, "Install Sample Notes 1.2 on this computer?", true},
                                {IDYES, "Yes", true},
                                {IDNO, "No", true},
                                {IDC_CHANGE, "Change...", false},
                                {IDC_BASE_DIR, folderA_, false},
                                {IDC_PROG_DIR_LABEL, "Install to:", false},
                                {IDC_INSTALL_DIR, folderA_ + "\\Tools", false}});
        EXPECT_FALSE(isItemEnabled(prompt, IDC_CHANGE));
        pressKey(prompt, VK_ESCAPE);
    });
    EXPECT_EQ(IDCANCEL, result);

    EXPECT_EQ(IDYES, runPrompt([](DWORD thread) { pressButton(waitForDialogWith(thread, IDC_DESCRIPTION), IDYES); }));
    EXPECT_EQ(folderA_, installState.baseDir);

    // The folder of the earlier installation has gone: only leaving is left.
    std::string gone = dir_ / "gone";
    setBaseDir(gone);
    result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        pressKey(prompt, VK_RETURN);
        expectNotDir(thread, prompt, gone);
        pressCloseBox(prompt);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(gone, installState.baseDir);
}

TEST_F(DialogTest, ChangeThenCancelLeavesEverythingAsItWas) {
    setBaseDir(folderA_);
    INT_PTR result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        pressButton(prompt, IDC_CHANGE);
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        EXPECT_EQ(prompt, GetWindow(chooser, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(prompt)) << "the prompt waits for the directory dialog";
        EXPECT_EQ("Sample Notes", windowText(chooser));
        expectControls(chooser, {{IDC_BASE_DIR, folderA_, true}, {IDC_INSTALL_DIR, folderA_ + "\\Tools", true}});
        setItemText(chooser, IDC_BASE_DIR, folderB_);
        EXPECT_EQ(folderB_ + "\\Tools", itemText(chooser, IDC_INSTALL_DIR));
        pressButton(chooser, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(chooser));

        ASSERT_EQ(prompt, waitForDialogWith(thread, IDC_DESCRIPTION));
        expectControls(prompt, {{IDC_BASE_DIR, folderA_, false}, {IDC_INSTALL_DIR, folderA_ + "\\Tools", true}});
        EXPECT_EQ(folderA_, installState.baseDir);
        pressButton(prompt, IDNO);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(folderA_, installState.baseDir);
}

TEST_F(DialogTest, ChangeThenOkShowsTheNewDirectoryAndYesStoresIt) {
    setBaseDir(folderA_);
    INT_PTR result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        pressButton(prompt, IDC_CHANGE);
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        setItemText(chooser, IDC_BASE_DIR, folderB_);
        pressKey(chooser, VK_RETURN);  // OK is the default button
        ASSERT_TRUE(waitUntilGone(chooser));

        ASSERT_EQ(prompt, waitForDialogWith(thread, IDC_DESCRIPTION));
        expectControls(prompt, {{IDC_BASE_DIR, folderB_, false}, {IDC_INSTALL_DIR, folderB_ + "\\Tools", true}});
        pressButton(prompt, IDYES);
    });
    EXPECT_EQ(IDYES, result);
    EXPECT_EQ(folderB_, installState.baseDir);
}

TEST_F(DialogTest, AnEmptyBaseDirectoryIsRefusedAndCanBeChosen) {
    setBaseDir("");
    INT_PTR result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        EXPECT_EQ("\\Tools", itemText(prompt, IDC_INSTALL_DIR));
        pressButton(prompt, IDYES);
        expectNotDir(thread, prompt, "");
        ASSERT_EQ(prompt, waitForDialogWith(thread, IDC_DESCRIPTION));
        pressButton(prompt, IDC_CHANGE);
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        expectControls(chooser, {{IDC_BASE_DIR, "", true}, {IDC_INSTALL_DIR, "\\Tools", true}});
        typeText(chooser, IDC_BASE_DIR, folderA_);
        pressButton(chooser, IDOK);
        ASSERT_TRUE(waitUntilGone(chooser));
        ASSERT_EQ(prompt, waitForDialogWith(thread, IDC_DESCRIPTION));
        EXPECT_EQ(folderA_ + "\\Tools", itemText(prompt, IDC_INSTALL_DIR));
        pressKey(prompt, VK_RETURN);
    });
    EXPECT_EQ(IDYES, result);
    EXPECT_EQ(folderA_, installState.baseDir);
}

TEST_F(DialogTest, DirectoryDialogShowsItsTextsAndFollowsTheEdit) {
    setBaseDir("C:\\Apps");
    INT_PTR result = runDirectoryDialog([&](DWORD thread) {
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        EXPECT_EQ("Sample Notes", windowText(chooser));
        expectControls(chooser, {{IDC_BASE_DIR_LABEL, "Base folder:", true},
                                 {IDC_BASE_DIR, "C:\\Apps", true},
                                 {IDC_EXPLORE, "Explore", true},
                                 {IDC_PROG_DIR_LABEL, "Install to:", true},
                                 {IDC_INSTALL_DIR, "C:\\Apps\\Tools", true},
                                 {IDOK, "OK", true},
                                 {IDCANCEL, "Cancel", true}});
        EXPECT_TRUE(isCentred(chooser));
        typeText(chooser, IDC_BASE_DIR, "\\Sub");
        EXPECT_EQ("C:\\Apps\\Sub\\Tools", itemText(chooser, IDC_INSTALL_DIR)) << "the preview follows typing";
        setItemText(chooser, IDC_BASE_DIR, "");
        EXPECT_EQ("\\Tools", itemText(chooser, IDC_INSTALL_DIR));
        pressButton(chooser, IDOK);
        expectNotDir(thread, chooser, "");
        ASSERT_EQ(chooser, waitForDialogWith(thread, IDC_EXPLORE)) << "the dialog stays open";
        pressButton(chooser, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_STREQ("C:\\Apps", installState.baseDir);
}

TEST_F(DialogTest, DirectoryDialogOkStoresOnlyAUsableDirectory) {
    const RefusedCase refused[] = {
        {"missing", dir_ / "missing"},
        {"a file", file_},
        {"install folder too long", folderOfLength(252)},
    };
    for (const RefusedCase& c : refused) {
        SCOPED_TRACE(c.name);
        setBaseDir(folderA_);
        INT_PTR result = runDirectoryDialog([&](DWORD thread) {
            HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
            ASSERT_TRUE(chooser);
            setItemText(chooser, IDC_BASE_DIR, c.baseDir);
            pressKey(chooser, VK_RETURN);
            expectNotDir(thread, chooser, c.baseDir);  // captioned with the typed text
            ASSERT_EQ(chooser, waitForDialogWith(thread, IDC_EXPLORE));
            pressKey(chooser, VK_ESCAPE);
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(folderA_, installState.baseDir);
    }

    const std::string longest = folderOfLength(251);  // an install folder of 257 characters
    const struct {
        std::string folder;
        std::string preview;
    } accepted[] = {
        {folderB_, folderB_ + "\\Tools"},
        {longest, longest + "\\Tools"},
        {"C:\\", "C:\\Tools"},  // joined as the install step joins: one backslash
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.folder);
        setBaseDir(folderA_);
        INT_PTR result = runDirectoryDialog([&](DWORD thread) {
            HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
            ASSERT_TRUE(chooser);
            setItemText(chooser, IDC_BASE_DIR, c.folder);
            EXPECT_EQ(c.preview, itemText(chooser, IDC_INSTALL_DIR));
            pressButton(chooser, IDOK);
        });
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ(c.folder, installState.baseDir);
    }
}

TEST_F(DialogTest, TypingStopsAt240CharactersButALongerInitialTextStaysWhole) {
    const std::string start = "C:\\" + std::string(230, 'a');  // 233 characters
    const std::string longer = "C:\\" + std::string(247, 'b');  // 250 characters
    setBaseDir(start);
    runDirectoryDialog([&](DWORD thread) {
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        typeText(chooser, IDC_BASE_DIR, "0123456789");
        EXPECT_EQ(start + "0123456", itemText(chooser, IDC_BASE_DIR));
        pressButton(chooser, IDCANCEL);
    });

    setBaseDir(longer);
    runDirectoryDialog([&](DWORD thread) {
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        EXPECT_EQ(longer, itemText(chooser, IDC_BASE_DIR));
        typeText(chooser, IDC_BASE_DIR, "x");
        EXPECT_EQ(longer, itemText(chooser, IDC_BASE_DIR)) << "cannot be lengthened";
        typeText(chooser, IDC_BASE_DIR, "\by");
        EXPECT_EQ(longer.substr(0, 249), itemText(chooser, IDC_BASE_DIR)) << "can be shortened";
        pressButton(chooser, IDCANCEL);
    });
    EXPECT_EQ(longer, installState.baseDir);
}

TEST_F(DialogTest, ExploreOpensTheTypedDirectoryOrProgramFilesAndChangesNothing) {
    ASSERT_EQ("C:\\Program Files", programFilesDir());
    const struct {
        std::string typed;
        std::string opened;
    } cases[] = {
        {folderB_, folderB_},
        {"", programFilesDir()},
        {dir_ / "missing", programFilesDir()},
        {file_, programFilesDir()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        setBaseDir(folderA_);
        launches.clear();
        INT_PTR result = runDirectoryDialog([&](DWORD thread) {
            HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
            ASSERT_TRUE(chooser);
            setItemText(chooser, IDC_BASE_DIR, c.typed);
            pressButtonAndWait(chooser, IDC_EXPLORE);
            ASSERT_EQ(1u, launches.size());
            EXPECT_EQ("Explorer.exe", launches[0].program);
            EXPECT_EQ(c.opened, launches[0].argument);
            EXPECT_EQ(chooser, waitForDialogWith(thread, IDC_EXPLORE)) << "the dialog stays open";
            expectControls(chooser, {{IDC_BASE_DIR, c.typed, true}, {IDC_INSTALL_DIR, c.typed + "\\Tools", true}});
            pressButton(chooser, IDCANCEL);
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(folderA_, installState.baseDir);
    }
}

TEST_F(DialogTest, APreviewThatDoesNotFitIsShownCutButNothingStoredIsCut) {
    const std::string longest = "C:\\" + std::string(256, 'L');  // 259 characters, the most a path holds
    const std::string cutPreview = longest.substr(0, 256) + "...";
    setBaseDir(longest);
    INT_PTR result = runPrompt([&](DWORD thread) {
        HWND prompt = waitForDialogWith(thread, IDC_DESCRIPTION);
        ASSERT_TRUE(prompt);
        expectControls(prompt, {{IDC_BASE_DIR, longest, false}, {IDC_INSTALL_DIR, cutPreview, true}});
        pressButton(prompt, IDC_CHANGE);
        HWND chooser = waitForDialogWith(thread, IDC_EXPLORE);
        ASSERT_TRUE(chooser);
        expectControls(chooser, {{IDC_BASE_DIR, longest, true}, {IDC_INSTALL_DIR, cutPreview, true}});
        pressButton(chooser, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(chooser));
        ASSERT_EQ(prompt, waitForDialogWith(thread, IDC_DESCRIPTION));
        EXPECT_EQ(longest, installState.baseDir);
        pressButton(prompt, IDNO);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(longest, installState.baseDir);
}

// launchProgram for real: the recorder program writes how it was started.
TEST(LaunchProgram, StartsTheProgramShownWithItsArgumentQuotedAndWhole) {
    TempDir dir;
    const std::string recorder = testProgramDir() + "\\launch-recorder.exe";
    std::string deep = dir.path() + "\\" + std::string(240 - dir.path().size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string outputs[] = {
        dir / "started.txt",
        dir / "with blanks.txt",
        deep + "\\x.txt",  // a command line longer than a path
    };
    for (const std::string& output : outputs) {
        SCOPED_TRACE(output);
        launchProgram(recorder.c_str(), output.c_str());
        DWORD start = GetTickCount();
        while (GetFileAttributesA(output.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 10000) {
            Sleep(20);
        }
        std::string expected = "\"" + recorder + "\" \"" + output + "\"\n" + std::to_string(STARTF_USESHOWWINDOW) +
                               "\n" + std::to_string(SW_SHOW) + "\n" + std::to_string(NORMAL_PRIORITY_CLASS) + "\n";
        EXPECT_EQ(expected, readFile(output));
    }
}

}  // namespace
