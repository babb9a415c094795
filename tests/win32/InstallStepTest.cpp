#include "deploy/InstallStep.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "DeployHelpers.h"
#include "TestSupport.h"
#include "common/Format.h"
#include "common/StagedTrees.h"
#include "registration/Shortcuts.h"

namespace {

using Paths = std::vector<std::string>;

// A staged payload under a temp folder, installed below base\ProgDir and
// the user's documents folder\ProgDir. Names are unique to each test.
class InstallStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&installState, 0, sizeof installState);
        progFile = uniqueName("Notes");
        setSlot(Slot::ProgName, progFile + " Notes");
        setSlot(Slot::ProgFile, progFile);
        setSlot(Slot::FileCopyFailed, "The file cannot be copied.");
        setBase(temp / "base");
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
        copyText(installState.stagingDir, kPathSize, (staging + "\\").c_str());
        ASSERT_EQ(1, getPersonalFolder(documentsFolder));
        setProgDir(uniqueName("InstallStep-"));
    }
    void TearDown() override {
        removeFileTree(documents);
        removeInstalledTraces(setupString(Slot::ProgName), progFile, progDir);
    }
    void setBase(const std::string& folder) {
        base = folder;
        copyText(installState.baseDir, kPathSize, base.c_str());
        installDir = base + "\\" + progDir;
    }
    void setProgDir(const std::string& name) {
        progDir = name;
        setSlot(Slot::ProgDir, progDir);
        installDir = base + "\\" + progDir;
        documents = std::string(documentsFolder) + "\\" + progDir;
    }
    // Stages a file as the extraction does: on disk, and noted among the
    // staged tree's names.
    void stage(const std::string& path, const std::string& contents = "staged") {
        ASSERT_TRUE(writeFile(staging + "\\" + path, contents));
        noteStagedEntry(path.c_str(), false);
    }
    void stageFolder(const std::string& path) {
        ASSERT_TRUE(CreateDirectoryA((staging + "\\" + path).c_str(), nullptr));
        noteStagedEntry(path.c_str(), true);
    }
    // Removes a staged tree, as a new extraction would.
    void unstage(StagedTree tree, const std::string& folder) {
        removeFileTree(staging + "\\" + folder);
        memset(&installState.stagedTrees[static_cast<int>(tree)], 0, sizeof(StagedTreeExtent));
    }
    // Installs, answering Cancel to every prompt; returns the prompts' texts.
    std::vector<std::string> installCancelling(int expectedResult) {
        BackgroundWatcher watcher([](const WindowInfo&) { return Response::press(IDCANCEL); });
        EXPECT_EQ(expectedResult, installProgram(nullptr));
        return messageTexts(watcher.stop());
    }

    TempDir temp;
    std::string staging = temp / "staging";
    std::string base, installDir, documents, progDir, progFile;
    char documentsFolder[MAX_PATH];
};

TEST_F(InstallStepTest, CancelledDocumentsCopyRemovesOnlyWhatThisRunCreated) {
    stage("Program\\" + progFile + ".exe");
    stage("Program\\lib\\x.dll");
    stage("Documents\\New.snote");
    stage("Documents\\Samples\\s.snote");
    stage("Documents\\Welcome.snote");
    stage("Documents\\Zblocked");  // a folder at the destination: cannot be copied
    ASSERT_TRUE(writeFile(documents + "\\Welcome.snote", "changed by the user"));
    ASSERT_TRUE(writeFile(documents + "\\Mine.txt", "mine"));
    ASSERT_TRUE(writeFile(documents + "\\Zblocked\\keep.txt", "mine"));

    EXPECT_EQ(std::vector<std::string>({"The file cannot be copied.\n\n" + documents + "\\Zblocked"}),
              installCancelling(0));
    EXPECT_FALSE(pathExists(installDir));  // created by this run: gone whole
    EXPECT_EQ(Paths({"Mine.txt", "Welcome.snote", "Zblocked\\", "Zblocked\\keep.txt"}), treePaths(documents));
    EXPECT_EQ("changed by the user", readFile(documents + "\\Welcome.snote"));
    EXPECT_STREQ(installDir.c_str(), installState.installDir);
    EXPECT_STREQ("", installState.programPath);
}

TEST_F(InstallStepTest, CancelledProgramCopyKeepsWhatTheInstallDirectoryHeld) {
    stage("Program\\" + progFile + ".exe", "new");
    stage("Program\\added.dll");
    stage("Program\\Zblocked");
    stage("Documents\\Welcome.snote");
    ASSERT_TRUE(writeFile(installDir + "\\" + progFile + ".exe", "old"));
    ASSERT_TRUE(writeFile(installDir + "\\user.cfg", "mine"));
    ASSERT_TRUE(CreateDirectoryA((installDir + "\\Zblocked").c_str(), nullptr));

    EXPECT_EQ(1u, installCancelling(0).size());
    EXPECT_EQ(Paths({progFile + ".exe", "Zblocked\\", "user.cfg"}), treePaths(installDir));  // no added.dll
    EXPECT_FALSE(pathExists(documents));
}

// The message that names a path that does not fit.
std::string overflowText(const std::string& path, size_t limit) {
    return "Unable to create file.\n\n" + path + "\n\nThe path is " + std::to_string(path.size()) +
           " characters long; the limit is " + std::to_string(limit) + ".";
}

TEST_F(InstallStepTest, PathsThatDoNotFitFailBeforeAnythingIsCopiedAndAreNamed) {
    stage("Program\\" + progFile + ".exe");
    stage("Documents\\Welcome.snote");

    // The install directory itself does not fit as a folder (its pattern
    // "\*" must fit too).
    const std::string shortBase = base;
    const std::string longBase = base + "\\" + std::string(250 - base.size(), 'b');
    ASSERT_TRUE(CreateDirectoryA(longBase.c_str(), nullptr));
    setBase(longBase);
    EXPECT_EQ(std::vector<std::string>({overflowText(installDir, 257)}), installCancelling(0));
    EXPECT_STREQ("", installState.installDir);

    // A staged file whose installed path is one byte too long; one byte
    // less installs.
    setBase(shortBase);
    const std::string tooLong = std::string(259 - installDir.size(), 'p');
    stage("Program\\" + tooLong);
    EXPECT_EQ(std::vector<std::string>({overflowText(installDir + "\\" + tooLong, 259)}), installCancelling(0));
    EXPECT_FALSE(pathExists(installDir));
    EXPECT_FALSE(pathExists(documents));
    unstage(StagedTree::Program, "Program");
    stage("Program\\" + tooLong.substr(1));
    EXPECT_EQ(std::vector<std::string>(), installCancelling(1));
    EXPECT_TRUE(pathExists(installDir + "\\" + tooLong.substr(1)));
    removeFileTree(installDir);
    removeFileTree(documents);
    unstage(StagedTree::Program, "Program");

    // An empty staged folder whose installed path is one byte longer than a
    // folder may be (its pattern "\*" must fit too).
    stage("Program\\" + progFile + ".exe");
    const std::string folder = std::string(258 - installDir.size(), 'f');
    stageFolder("Program\\" + folder);
    EXPECT_EQ(std::vector<std::string>({overflowText(installDir + "\\" + folder, 257)}), installCancelling(0));
    EXPECT_FALSE(pathExists(installDir));
    unstage(StagedTree::Program, "Program");

    // A staged document whose path in the documents folder does not fit,
    // while everything fits in the install directory: a long ProgDir that
    // leaves just the room the program file needs.
    stage("Program\\" + progFile + ".exe");
    const size_t room = 259 - (base.size() + 1) - (1 + progFile.size() + 4);
    setProgDir(progDir + std::string(room - progDir.size(), 'x'));
    ASSERT_LT(documents.size(), installDir.size());
    const std::string document = documents + "\\" + std::string(259 - documents.size(), 'd');
    stage("Documents\\" + document.substr(documents.size() + 1));
    EXPECT_EQ(std::vector<std::string>({overflowText(document, 259)}), installCancelling(0));
    EXPECT_STREQ(installDir.c_str(), installState.installDir);
    EXPECT_FALSE(pathExists(installDir));
    EXPECT_FALSE(pathExists(documents));
    EXPECT_STREQ("", installState.programPath);
}

TEST_F(InstallStepTest, ProgDirOrProgFileLeadingOutOfTheirFolderInstallNothing) {
    stage("Program\\" + progFile + ".exe");
    stage("Documents\\Welcome.snote");
    const std::string escaped = std::string(documentsFolder) + "\\..\\Escaped-" + progFile;
    struct Case {
        const char* slot;
        std::string value;
    };
    const Case cases[] = {{"ProgDir", "..\\Escaped-" + progFile},
                          {"ProgDir", "Sub\\..\\..\\Escaped-" + progFile},
                          {"ProgFile", "..\\..\\Escaped-" + progFile}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        setSlot(std::string(c.slot) == "ProgDir" ? Slot::ProgDir : Slot::ProgFile, c.value);
        EXPECT_EQ(0, installProgram(nullptr));
        EXPECT_FALSE(pathExists(escaped));
        EXPECT_FALSE(pathExists(base + "\\..\\Escaped-" + progFile));
        EXPECT_STREQ("", installState.programPath);
        setSlot(Slot::ProgDir, progDir);
        setSlot(Slot::ProgFile, progFile);
    }
}

TEST_F(InstallStepTest, ReinstallReplacesProgramFilesAndKeepsDocuments) {
    stage("Program\\" + progFile + ".exe", "new program");
    ASSERT_TRUE(writeFileWithAttributes(staging + "\\Documents\\Guide.snote", "guide", FILE_ATTRIBUTE_READONLY));
    stage("Documents\\Welcome.snote", "staged welcome");
    ASSERT_TRUE(writeFile(installDir + "\\" + progFile + ".exe", "old program"));
    ASSERT_TRUE(writeFile(installDir + "\\kept.cfg", "kept"));
    ASSERT_TRUE(writeFile(documents + "\\Welcome.snote", "changed by the user"));

    EXPECT_TRUE(installCancelling(1).empty());
    const std::string program = installDir + "\\" + progFile + ".exe";
    EXPECT_STREQ(program.c_str(), installState.programPath);
    EXPECT_EQ("new program", readFile(program));
    EXPECT_EQ("kept", readFile(installDir + "\\kept.cfg"));
    EXPECT_EQ("changed by the user", readFile(documents + "\\Welcome.snote"));
    EXPECT_EQ("guide", readFile(documents + "\\Guide.snote"));
    EXPECT_EQ(0u, fileAttributes(documents + "\\Guide.snote") & FILE_ATTRIBUTE_READONLY);

    // Registered and linked.
    HKEY key;
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + progDir;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstall.c_str(), 0, KEY_READ, &key));
    RegCloseKey(key);
    char desktop[MAX_PATH];
    ASSERT_EQ(1, getDesktopFolder(desktop));
    EXPECT_TRUE(pathExists(std::string(desktop) + "\\" + setupString(Slot::ProgName) + ".lnk"));
}

}  // namespace
