#include "deploy/TreeCopy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DeployHelpers.h"
#include "TestSupport.h"
#include "deploy/CopyJournal.h"

namespace {

using Paths = std::vector<std::string>;

class TreeCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        setSlot(Slot::ProgName, "Copy Test");
        setSlot(Slot::ProgDir, "CopyDir");
        setSlot(Slot::DirDesc, "Notes of Copy Test");
        setSlot(Slot::FileCopyFailed, "The file cannot be copied.");
        setSlot(Slot::DirCreateFailed, "The folder cannot be created.");
    }
    int copy(int overwrite, int clearReadOnly, CopyJournal* journal = nullptr) {
        return copyTreeIfPresent(nullptr, source.c_str(), destination.c_str(), overwrite, clearReadOnly, journal);
    }
    std::string expectedPrompt(const std::string& failure, const std::string& path) {
        return failure + "\n\n" + path;
    }

    TempDir temp;
    std::string source = temp / "staged";
    std::string destination = temp / "installed";
};

TEST_F(TreeCopyTest, MissingSourceCreatesNothing) {
    EXPECT_EQ(1, copy(1, 0));
    EXPECT_FALSE(pathExists(destination));
}

TEST_F(TreeCopyTest, EmptySourceGivesEmptyDestination) {
    ASSERT_TRUE(CreateDirectoryA(source.c_str(), nullptr));
    EXPECT_EQ(1, copy(1, 0));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, fileAttributes(destination) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Paths(), treePaths(destination));
}

TEST_F(TreeCopyTest, DestinationThatIsAFileFailsWithoutPrompt) {
    ASSERT_TRUE(writeFile(source + "\\a.txt", "new"));
    ASSERT_TRUE(writeFile(destination, "a file"));
    EXPECT_EQ(0, copy(1, 0));
    EXPECT_EQ("a file", readFile(destination));
}

struct OverwriteCase {
    int overwrite;
    int clearReadOnly;
    bool existing;  // a read-only "old" file is there before the copy
    const char* contents;
    int readOnly;  // 1 or 0; -1: the platform's choice
};

// The staged file is read-only.
TEST_F(TreeCopyTest, OverwriteAndReadOnlyRules) {
    const OverwriteCase cases[] = {
        {0, 1, true, "old", 1},   // an existing file is left whole, attributes included
        {1, 0, true, "new", -1},  // a read-only file is replaced (Windows carries the source's attributes, Wine not)
        {1, 1, true, "new", 0},
        {0, 1, false, "new", 0},
        {0, 0, false, "new", 1},  // a new copy is read-only like its source
    };
    ASSERT_TRUE(writeFileWithAttributes(source + "\\notes.txt", "new", FILE_ATTRIBUTE_READONLY));
    for (const OverwriteCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "overwrite " << c.overwrite << ", clearReadOnly " << c.clearReadOnly
                                        << ", existing " << c.existing);
        removeFileTree(destination);
        if (c.existing) {
            ASSERT_TRUE(writeFileWithAttributes(destination + "\\notes.txt", "old", FILE_ATTRIBUTE_READONLY));
        }
        EXPECT_EQ(1, copy(c.overwrite, c.clearReadOnly));
        EXPECT_EQ(c.contents, readFile(destination + "\\notes.txt"));
        if (c.readOnly >= 0) {
            EXPECT_EQ(c.readOnly, (fileAttributes(destination + "\\notes.txt") & FILE_ATTRIBUTE_READONLY) ? 1 : 0);
        }
    }
    removeFileTree(destination);
}

// The destination file is held open, so the copy fails and prompts.
class HeldFileTest : public TreeCopyTest {
protected:
    void SetUp() override {
        TreeCopyTest::SetUp();
        ASSERT_TRUE(writeFile(source + "\\a.txt", "new a"));
        ASSERT_TRUE(writeFile(source + "\\b.txt", "new b"));
        ASSERT_TRUE(writeFile(held, "old a"));
        file = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
    }
    void TearDown() override { release(); }
    void release() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }

    std::string held = destination + "\\a.txt";
    HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(HeldFileTest, CancelEndsTheCopyAndStillClearsReadOnly) {
    BackgroundWatcher watcher([&](const WindowInfo&) {
        // Made read-only while the prompt is up: cleared after the cancel.
        SetFileAttributesA(held.c_str(), FILE_ATTRIBUTE_READONLY);
        return Response::press(IDCANCEL);
    });
    EXPECT_EQ(0, copy(1, 1));
    std::vector<SeenWindow> seen = watcher.stop();
    ASSERT_EQ(1u, seen.size());
    const WindowInfo& prompt = seen[0].window;
    EXPECT_EQ("Copy Test", prompt.caption);
    EXPECT_EQ(expectedPrompt("The file cannot be copied.", held), prompt.messageText);
    EXPECT_TRUE(prompt.control(IDRETRY) && prompt.control(IDCANCEL)) << describeWindow(prompt);
    EXPECT_EQ(0u, fileAttributes(held) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(pathExists(destination + "\\b.txt"));  // nothing after the cancelled file
}

TEST_F(HeldFileTest, RetryAfterTheFileIsReleasedCompletes) {
    BackgroundWatcher watcher([&](const WindowInfo&) {
        release();
        return Response::press(IDRETRY);
    });
    EXPECT_EQ(1, copy(1, 0));
    EXPECT_EQ(1u, watcher.stop().size());
    EXPECT_EQ("new a", readFile(held));
    EXPECT_EQ("new b", readFile(destination + "\\b.txt"));
}

TEST_F(TreeCopyTest, FolderThatCannotBeCreatedPrompts) {
    // "sub" is a file at the destination, so "sub\inner" cannot be made.
    ASSERT_TRUE(writeFile(source + "\\sub\\inner\\f.txt", "f"));
    ASSERT_TRUE(writeFile(destination + "\\sub", "a file"));
    int answers = 0;
    BackgroundWatcher watcher([&](const WindowInfo&) { return Response::press(++answers == 1 ? IDRETRY : IDCANCEL); });
    EXPECT_EQ(0, copy(1, 0));
    std::vector<std::string> texts = messageTexts(watcher.stop());
    const std::string prompt = expectedPrompt("The folder cannot be created.", destination + "\\sub\\inner");
    EXPECT_EQ(std::vector<std::string>({prompt, prompt}), texts);  // Retry asks again
    EXPECT_EQ("a file", readFile(destination + "\\sub"));
}

TEST_F(TreeCopyTest, DesktopIniIsRebuiltNotCopied) {
    // In a subfolder and in another letter case; a folder of that name is
    // an ordinary folder.
    ASSERT_TRUE(writeFile(source + "\\Samples\\DESKTOP.ini",
                          "[.ShellClassInfo]\r\nIconFile=%s\\notes.ico\r\nInfoTip=About: %s\r\nOther=x\r\n"
                          "[Extra]\r\nKey=y\r\n"));
    ASSERT_TRUE(writeFile(source + "\\Desktop.INI\\inside.txt", "inside"));
    ASSERT_EQ(1, copy(1, 0));

    EXPECT_EQ(Paths({"Desktop.INI\\", "Desktop.INI\\inside.txt", "Samples\\", "Samples\\DESKTOP.ini"}),
              treePaths(destination));
    const std::string ini = destination + "\\Samples\\DESKTOP.ini";
    EXPECT_EQ("[.ShellClassInfo]\r\nIconFile=%ProgramFiles%\\CopyDir\\notes.ico\r\nIconIndex=0\r\n"
              "InfoTip=About: Notes of Copy Test\r\n",
              readFile(ini));
    EXPECT_NE(0u, fileAttributes(ini) & FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(0u, fileAttributes(destination + "\\Samples") & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(0u, fileAttributes(destination) & FILE_ATTRIBUTE_SYSTEM);
}

struct DesktopIniCase {
    std::string staged;   // the .ShellClassInfo lines of the staged Desktop.INI
    std::string written;  // the lines of the destination's
};

TEST_F(TreeCopyTest, DesktopIniValuesAreFormatsWithOneArgument) {
    const std::string longText(245, 'x');
    const DesktopIniCase cases[] = {
        {"IconIndex=-3\r\n", "IconIndex=-3\r\n"},
        {"IconFile=\r\nInfoTip=\r\n", "IconIndex=0\r\n"},
        {"IconFile=%s%s,%d%%\r\n", "IconFile=%ProgramFiles%\\CopyDir,%d%\r\nIconIndex=0\r\n"},
        // Results longer than 259 bytes are not written, nor cut; neither is
        // a staged value too long to be read whole.
        {"IconIndex=2\r\nIconFile=" + longText + "%s\r\nInfoTip=%s" + longText + "\r\n", "IconIndex=2\r\n"},
        {"InfoTip=" + longText + longText + "\r\n", "IconIndex=0\r\n"},
    };
    for (const DesktopIniCase& c : cases) {
        SCOPED_TRACE(c.staged);
        removeFileTree(source);
        removeFileTree(destination);
        ASSERT_TRUE(writeFile(source + "\\desktop.ini", "[.ShellClassInfo]\r\n" + c.staged));
        EXPECT_EQ(1, copy(1, 0));
        EXPECT_EQ("[.ShellClassInfo]\r\n" + c.written, readFile(destination + "\\desktop.ini"));
        EXPECT_NE(0u, fileAttributes(destination) & FILE_ATTRIBUTE_SYSTEM);
    }
}

TEST_F(TreeCopyTest, JournalRollBackRemovesOnlyWhatTheCopyCreated) {
    ASSERT_TRUE(writeFile(destination + "\\keep.txt", "mine"));
    ASSERT_TRUE(writeFile(destination + "\\shared.txt", "old"));
    ASSERT_TRUE(writeFile(destination + "\\old\\x.txt", "mine"));
    ASSERT_TRUE(writeFile(source + "\\shared.txt", "new"));
    ASSERT_TRUE(writeFile(source + "\\new.txt", "new"));
    ASSERT_TRUE(writeFile(source + "\\old\\y.txt", "new"));
    ASSERT_TRUE(writeFile(source + "\\fresh\\deeper\\z.txt", "new"));
    ASSERT_TRUE(writeFile(source + "\\Desktop.ini", "[.ShellClassInfo]\r\nInfoTip=%s\r\n"));

    CopyJournal journal;
    ASSERT_EQ(1, copy(1, 0, &journal));
    EXPECT_EQ(Paths({"Desktop.ini", "fresh\\", "fresh\\deeper\\", "fresh\\deeper\\z.txt", "keep.txt", "new.txt",
                     "old\\", "old\\x.txt", "old\\y.txt", "shared.txt"}),
              treePaths(destination));
    journal.rollBack();
    EXPECT_EQ(Paths({"keep.txt", "old\\", "old\\x.txt", "shared.txt"}), treePaths(destination));
    EXPECT_EQ("new", readFile(destination + "\\shared.txt"));  // replaced, not created: stays

    // A destination that the copy created goes whole.
    removeFileTree(destination);
    CopyJournal created;
    ASSERT_EQ(1, copy(1, 0, &created));
    created.rollBack();
    EXPECT_FALSE(pathExists(destination));
}

}  // namespace
