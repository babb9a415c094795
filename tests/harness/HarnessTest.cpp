// The harness checked against a program whose windows and answers are known
// (harness_testee.exe, beside this test; see its header comment).
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include "CustomInstaller.h"
#include "PrefixState.h"
#include "ProcessRunner.h"
#include "Responders.h"
#include "TestSupport.h"

namespace {

std::string testee(const std::string& arguments) {
    std::string command = quoteArgument(ownFolder() + "\\harness_testee.exe");
    return arguments.empty() ? command : command + " " + arguments;
}

RunResult runTestee(const std::string& arguments, Responder responder, DWORD timeoutMs = 30000) {
    RunOptions options;
    options.commandLine = testee(arguments);
    options.responder = std::move(responder);
    options.timeoutMs = timeoutMs;
    return runProgram(options);
}

// Exit code of the testee without arguments.
DWORD testeeExit(int box, int dialog, int nested, bool typed) {
    return static_cast<DWORD>(box + 10 * dialog + 30 * nested + (typed ? 100 : 0));
}

bool inside(const RECT& inner, const WindowInfo& window) {
    const RECT& client = window.clientRect;
    return inner.left >= 0 && inner.top >= 0 && inner.right <= client.right && inner.bottom <= client.bottom &&
           inner.left < inner.right && inner.top < inner.bottom;
}

TEST(RunProgram, DescribesAndAnswersMessageBoxesAndNestedDialogs) {
    int dialogOffers = 0;
    RunResult run = runTestee("", [&](const WindowInfo& w) {
        if (w.caption == "Harness Testee") return Response::pressText("Yes");
        if (w.caption == "Testee Dialog" && ++dialogOffers == 1) {
            return Response().thenSetText(101, "typed").thenPressText("Nested...");
        }
        if (w.caption == "Testee Dialog") return Response::pressText("OK");
        if (w.caption == "Testee Nested" && w.isMessageBox()) return Response::press(IDOK);
        if (w.caption == "Testee Nested") return Response::pressText("OK");
        return Response::close().markUnexpected("unknown window");
    });
    ASSERT_TRUE(run.started) << run.describe();
    EXPECT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(testeeExit(IDYES, IDOK, IDOK, true), run.exitCode) << run.describe();
    EXPECT_EQ(0u, run.problemCount()) << run.describe();
    ASSERT_EQ(5u, run.windows.size()) << run.describe();

    const WindowInfo& box = run.windows[0].window;
    EXPECT_TRUE(box.isMessageBox());
    EXPECT_EQ("Harness Testee", box.caption);
    EXPECT_EQ("First question:\nproceed?", box.messageText);
    EXPECT_EQ((std::vector<std::string>{"Yes", "No", "Cancel"}), box.buttonTexts());
    EXPECT_EQ("pressed \"Yes\" (6)", run.windows[0].answer);

    const WindowInfo& dialog = run.windows[1].window;
    EXPECT_FALSE(dialog.isMessageBox());
    EXPECT_EQ("Testee Dialog", dialog.caption);
    ASSERT_EQ(7u, dialog.controls.size()) << describeWindow(dialog);
    const ControlInfo* label = dialog.control(100);
    const ControlInfo* edit = dialog.control(101);
    ASSERT_TRUE(label && edit);
    EXPECT_EQ("Static", label->className);
    EXPECT_EQ("Name:", label->text);
    EXPECT_EQ("Edit", edit->className);
    EXPECT_EQ("initial", edit->text);  // read across processes
    EXPECT_TRUE(edit->visible && edit->enabled);
    EXPECT_TRUE(inside(edit->rect, dialog));
    EXPECT_GT(edit->rect.left, label->rect.right - 1);
    EXPECT_FALSE(dialog.control(103)->enabled);
    EXPECT_FALSE(dialog.control(104)->visible);
    EXPECT_EQ("secret", dialog.control(104)->text);
    ASSERT_NE(nullptr, dialog.defaultButton());
    EXPECT_EQ(IDOK, dialog.defaultButton()->id);
    EXPECT_EQ("&Nested...", dialog.button("Nested...")->text);
    EXPECT_EQ("typed \"typed\" into 101, then pressed \"Nested...\" (102)", run.windows[1].answer);

    // Nested windows are owned by the window that opened them.
    EXPECT_EQ("Testee Nested", run.windows[2].window.caption);
    EXPECT_FALSE(run.windows[2].window.isMessageBox());
    EXPECT_EQ(dialog.hwnd, run.windows[2].window.owner);
    EXPECT_TRUE(run.windows[3].window.isMessageBox());
    EXPECT_EQ("Nested message", run.windows[3].window.messageText);
    EXPECT_EQ(run.windows[2].window.hwnd, run.windows[3].window.owner);

    // The dialog is offered again once the nested dialog has gone.
    EXPECT_EQ(dialog.hwnd, run.windows[4].window.hwnd);
    EXPECT_EQ("typed", run.windows[4].window.control(101)->text);
}

struct ResponderCase {
    const char* name;
    Responder responder;
    DWORD exitCode;
    size_t problems;
};

TEST(RunProgram, ReadyMadeRespondersAnswerAndFlag) {
    const ResponderCase cases[] = {
        {"unexpected windows are cancelled", failOnUnexpected(), testeeExit(IDCANCEL, IDCANCEL, 0, false), 2},
        {"script, then default buttons", pressInOrder({"No"}, pressDefault()), testeeExit(IDNO, IDOK, 0, false), 0},
        // A disabled button cannot be pressed: the step fails and the dialog is cancelled.
        {"disabled button", pressInOrder({"Yes", "Disabled"}), testeeExit(IDYES, IDCANCEL, 0, false), 1},
        // The script waits for a window that has its next button.
        {"missing scripted button", pressInOrder({"Retry"}, pressDefault()), testeeExit(IDCANCEL, IDCANCEL, 0, false), 2},
        {"rules by caption and text",
         pressWhenMatching({{"Harness Testee", "proceed", "No"}, {"Testee Dialog", "Name:", "Cancel"}}),
         testeeExit(IDNO, IDCANCEL, 0, false), 0},
    };
    for (const ResponderCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult run = runTestee("", c.responder);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.describe();
        EXPECT_EQ(c.problems, run.problemCount()) << run.describe();
        EXPECT_EQ(2u, run.windows.size()) << run.describe();
    }
}

TEST(RunProgram, TimeoutKillsTheProgramAndWhatItStarted) {
    RunResult run = runTestee("hang", nullptr, 4000);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut) << run.describe();
    ASSERT_EQ(1u, run.windows.size()) << run.describe();
    EXPECT_FALSE(run.windows[0].answered);
    EXPECT_EQ("left alone", run.windows[0].answer);
    const std::string& text = run.windows[0].window.messageText;
    ASSERT_EQ(0u, text.find("child ")) << text;
    DWORD childId = static_cast<DWORD>(std::stoul(text.substr(6)));
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
    if (child) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 5000)) << "the child " << childId << " still runs";
        CloseHandle(child);
    }
    EXPECT_TRUE(findTopLevelWindows("Testee Child").empty());
}

TEST(RunProgram, ReportsAProgramThatCannotStart) {
    RunOptions options;
    options.commandLine = quoteArgument(ownFolder() + "\\no-such-program.exe");
    RunResult run = runProgram(options);
    EXPECT_FALSE(run.started);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), run.startError);
}

TEST(BackgroundWatcher, AnswersMessageBoxesOnTheMainThread) {
    BackgroundWatcher watcher(pressInOrder({"Retry", "Cancel"}));
    int first = MessageBoxA(nullptr, "Try again?", "In-process box", MB_RETRYCANCEL);
    int second = MessageBoxA(nullptr, "Try again?", "In-process box", MB_RETRYCANCEL);
    std::vector<SeenWindow> record = watcher.stop();
    EXPECT_EQ(IDRETRY, first);
    EXPECT_EQ(IDCANCEL, second);
    ASSERT_EQ(2u, record.size()) << describeRecord(record);
    EXPECT_EQ("Try again?", record[0].window.messageText);
    EXPECT_EQ((std::vector<std::string>{"Retry", "Cancel"}), record[0].window.buttonTexts());
}

TEST(MakeInstaller, ReplacesAndRemovesTheDataResources) {
    TempDir dir;
    const std::string setup = ownFolder() + "\\setup.exe";
    const std::string custom = dir / "custom setup.exe";
    const std::string ini = "[Settings]\r\nProgName=Other\r\n";
    std::string error;
    ASSERT_TRUE(makeInstaller(setup, custom, {ResourceChange::replace(kSetupIniResource, ini),
                                              ResourceChange::drop(kPayloadResource)}, &error)) << error;
    EXPECT_EQ(ini, readDataResource(custom, kSetupIniResource).value_or("(none)"));
    EXPECT_EQ(std::vector<WORD>{kNeutralLanguage}, dataResourceLanguages(custom, kSetupIniResource));
    EXPECT_TRUE(dataResourceLanguages(custom, kPayloadResource).empty());
    EXPECT_EQ(std::vector<WORD>{kNeutralLanguage}, dataResourceLanguages(setup, kPayloadResource));
    // Everything else is carried over, and the copy still runs.
    for (auto kept : {std::make_pair(RT_DIALOG, 132), std::make_pair(RT_GROUP_ICON, 131), std::make_pair(RT_MANIFEST, 1)}) {
        std::vector<WORD> languages = resourceLanguages(custom, kept.first, kept.second);
        EXPECT_FALSE(languages.empty()) << kept.second;
        EXPECT_EQ(resourceLanguages(setup, kept.first, kept.second), languages) << kept.second;
    }
    RunOptions options;
    options.commandLine = quoteArgument(custom);
    options.responder = pressDefault();
    RunResult run = runProgram(options);
    EXPECT_TRUE(run.started && !run.timedOut) << run.describe();

    EXPECT_FALSE(makeInstaller(dir / "missing.exe", custom, {}, &error));
}

// RCDATA `id` as the platform's loader finds it in the file mapped as data.
std::optional<std::string> loadedDataResource(const std::string& file, WORD id) {
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return std::nullopt;
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(id), kNeutralLanguage);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    std::optional<std::string> out;
    if (bytes) out = std::string(bytes, SizeofResource(module, found));
    FreeLibrary(module);
    return out;
}

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(at + i))) << (8 * i);
    return value;
}

std::string withLe32(std::string bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
    return bytes;
}

// The file offset of the resource directory's entry in the data directories.
size_t resourceDirectoryField(const std::string& image) {
    const size_t optional = le32(image, 0x3C) + 24;
    const bool pe32 = (static_cast<uint8_t>(image.at(optional)) | static_cast<uint8_t>(image.at(optional + 1)) << 8) == 0x10B;
    return optional + (pe32 ? 96 : 112) + 2 * 8;
}

// readDataResource reads the file itself (ReadFile at offsets), so that it
// works for installers too large to map: it must find what the loader finds,
// ignore what follows the image (a signature), and give nothing, never other
// bytes, for a damaged file.
TEST(ReadDataResource, FindsWhatTheLoaderFindsAndRefusesDamagedFiles) {
    TempDir dir;
    const std::string setup = ownFolder() + "\\setup.exe";
    const std::string image = readFile(setup);
    ASSERT_GT(image.size(), 0x400u);
    for (WORD id : {kPayloadResource, kSetupIniResource}) {
        std::optional<std::string> loaded = loadedDataResource(setup, id);
        ASSERT_TRUE(loaded.has_value()) << id;
        EXPECT_EQ(loaded, readDataResource(setup, id)) << id;
    }
    const std::string ini = loadedDataResource(setup, kSetupIniResource).value_or("");
    EXPECT_FALSE(readDataResource(setup, 999).has_value());
    EXPECT_FALSE(readDataResource(setup, kSetupIniResource, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)).has_value());

    struct Case {
        const char* name;
        std::string bytes;
        bool found;  // false: nothing; true: exactly the INI
    };
    const size_t field = resourceDirectoryField(image);
    const Case cases[] = {
        {"a signature's worth of bytes after the image", image + std::string(4096, '\x5A'), true},
        {"cut inside the headers", image.substr(0, 0x100), false},
        {"cut after the DOS header", image.substr(0, 0x40), false},
        {"empty", "", false},
        {"not an image", std::string(image.size(), 'x'), false},
        {"PE header offset past the end", withLe32(image, 0x3C, 0xFFFFFFF0u), false},
        {"resource directory outside every section", withLe32(image, field, 0x7FFFFFF0u), false},
        {"no resource directory", withLe32(withLe32(image, field, 0), field + 4, 0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / "case.exe";
        ASSERT_TRUE(writeFile(file, c.bytes));
        std::optional<std::string> read = readDataResource(file, kSetupIniResource);
        EXPECT_EQ(c.found, read.has_value());
        if (read) {
            EXPECT_EQ(ini, *read);
        }
    }
    // Cut anywhere: nothing, or the very same bytes.
    for (size_t length = 0x200; length < image.size(); length += image.size() / 37) {
        SCOPED_TRACE("cut at " + std::to_string(length));
        const std::string file = dir / "cut.exe";
        ASSERT_TRUE(writeFile(file, image.substr(0, length)));
        std::optional<std::string> read = readDataResource(file, kSetupIniResource);
        if (read) {
            EXPECT_EQ(ini, *read);
        }
    }
}

TEST(PrefixState, ReadsBackRegistryKeysAndValues) {
    const std::string key = "Software\\SetupHarnessTest";
    deleteRegistryTree(HKEY_CURRENT_USER, key);
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (key + "\\Sub\\Deeper").c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &created, nullptr));
    RegCloseKey(created);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &created, nullptr));
    const DWORD number = 42;
    RegSetValueExA(created, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("default"), 8);
    RegSetValueExA(created, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\x y"), 7);
    RegSetValueExA(created, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(created);

    EXPECT_EQ("default", readRegistryString(HKEY_CURRENT_USER, key, "").value_or("?"));
    EXPECT_EQ("C:\\x y", readRegistryString(HKEY_CURRENT_USER, key, "Path").value_or("?"));
    EXPECT_EQ(42u, readRegistryDword(HKEY_CURRENT_USER, key, "Number").value_or(0));
    EXPECT_FALSE(readRegistryString(HKEY_CURRENT_USER, key, "Number"));  // wrong type
    EXPECT_FALSE(readRegistryDword(HKEY_CURRENT_USER, key, "Missing"));
    EXPECT_EQ(std::vector<std::string>{"Sub"}, registrySubkeys(HKEY_CURRENT_USER, key));
    EXPECT_EQ(3u, registryValues(HKEY_CURRENT_USER, key).size());
    EXPECT_TRUE(deleteRegistryTree(HKEY_CURRENT_USER, key));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, key));
}

TEST(PrefixState, ReadsBackFileTreesAndShortcuts) {
    TempDir dir;
    ASSERT_TRUE(writeFile(dir / "a.txt", "abc"));
    ASSERT_TRUE(writeFile(dir / "sub\\b.txt", "hello"));
    SetFileAttributesA((dir / "sub\\b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::vector<TreeEntry> tree = listTree(dir.path());
    ASSERT_EQ(3u, tree.size());
    EXPECT_EQ("a.txt", tree[0].path);
    EXPECT_EQ(3u, tree[0].size);
    EXPECT_EQ("sub", tree[1].path);
    EXPECT_TRUE(tree[1].isDirectory());
    EXPECT_EQ("sub\\b.txt", tree[2].path);
    EXPECT_TRUE(tree[2].attributes & FILE_ATTRIBUTE_HIDDEN) << attributeLetters(tree[2].attributes);
    EXPECT_EQ("hello", readFileContents(dir / "sub\\b.txt").value_or("?"));

    // A shortcut written through the shell's link object reads back whole.
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    IShellLinkA* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           reinterpret_cast<void**>(&link))));
    link->SetPath((dir / "a.txt").c_str());
    link->SetWorkingDirectory(dir.path().c_str());
    link->SetArguments("-u");
    link->SetDescription("Notes");
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    wchar_t widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, (dir / "a.lnk").c_str(), -1, widePath, MAX_PATH);
    EXPECT_TRUE(SUCCEEDED(file->Save(widePath, TRUE)));
    file->Release();
    link->Release();
    CoUninitialize();
    std::optional<ShortcutInfo> shortcut = readShortcut(dir / "a.lnk");
    ASSERT_TRUE(shortcut);
    EXPECT_EQ(dir / "a.txt", shortcut->target);
    EXPECT_EQ(dir.path(), shortcut->workingDirectory);
    EXPECT_EQ("-u", shortcut->arguments);
    EXPECT_EQ("Notes", shortcut->description);
    EXPECT_FALSE(readShortcut(dir / "a.txt"));

    EXPECT_TRUE(isDirectoryPath(specialFolder(CSIDL_PERSONAL)));
    EXPECT_TRUE(removeFileTree(dir / "sub"));
    EXPECT_FALSE(pathExists(dir / "sub"));
}

}  // namespace
