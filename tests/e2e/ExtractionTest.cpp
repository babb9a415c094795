// Extraction inside the real installer: hostile payloads and names.
#include <gtest/gtest.h>

#include "AnswerProbe.h"
#include "InstallerRun.h"
#include "PrefixState.h"
#include "TestSupport.h"

namespace {

Response pressOk(const WindowInfo&) { return Response::press(IDOK); }

std::string tempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return temp;
}

TEST(Extraction, HostileEntryNameWritesNothingOutsideTheStagingFolder) {
    ProgramNames names("Hostile");
    ArchiveWriter writer;
    writer.addFile("Program\\first.txt", "first");
    writer.addFile("..\\..\\escaped-" + names.progDir + ".txt", "escaped");
    InstallerRun installer(setupIni(names), writer.build());
    ASSERT_TRUE(installer.ready());

    InstallerOutcome outcome = installer.run("-s", pressOk);
    EXPECT_EQ(std::vector<Shown>({{"..\\..\\escaped-" + names.progDir + ".txt", "Unable to create file."},
                                  {names.progName, names.progName + " failed EN"}}),
              outcome.messages)
        << outcome.run.describe();
    EXPECT_EQ(0u, outcome.run.exitCode);
    EXPECT_FALSE(pathExists(stagingFolder(names)));
    // The temp folder is C:\users\<user>\AppData\Local\Temp\: two levels up
    // from the staging folder is AppData\Local.
    EXPECT_FALSE(pathExists(tempFolder() + "..\\escaped-" + names.progDir + ".txt"));
    EXPECT_FALSE(pathExists(tempFolder() + "escaped-" + names.progDir + ".txt"));
}

TEST(Extraction, ProgNameThatIsNotAPlainFolderNameExtractsNothing) {
    const char* const progNames[] = {"..", "...", "a\\..\\..", "C:", "Notes."};
    for (const char* progName : progNames) {
        SCOPED_TRACE(progName);
        ProgramNames names("BadName");
        std::string ini = setupIni(names);
        ini.replace(ini.find("ProgName=" + names.progName), 9 + names.progName.size(),
                    std::string("ProgName=") + progName);
        // A folder that a removal of the parent of the staging folder would
        // take with it.
        std::string canary = tempFolder() + "canary-" + names.progDir;
        ASSERT_TRUE(CreateDirectoryA(canary.c_str(), nullptr));

        InstallerRun installer(ini, payloadWithProgram(names));
        ASSERT_TRUE(installer.ready());
        InstallerOutcome outcome = installer.run("-s", pressOk);
        EXPECT_EQ(std::vector<Shown>({{progName, std::string(progName) + " failed EN"}}), outcome.messages)
            << outcome.run.describe();
        EXPECT_TRUE(isDirectoryPath(canary));
        EXPECT_EQ(0u, outcome.run.exitCode);
        RemoveDirectoryA(canary.c_str());
    }
}

// The installer's owner window keeps answering from its start to the
// completion box, through the extraction and the copy of many files and of
// a long one. (After the box the staging tree is removed without looking at
// the queue; the probe stops at the box.) The bound is loose: the machine is
// shared and slow; a run that stopped looking at its queue for the whole
// extraction would wait seconds.
TEST(Extraction, OwnerWindowKeepsAnsweringUntilTheCompletionBox) {
    ProgramNames names("Answering");
    ArchiveWriter writer;
    writer.addFile("Program\\" + names.progFile + ".exe", "not started for real");
    std::string small(300, 's');
    for (int i = 0; i < 400; ++i) {
        writer.addFile("Program\\d" + std::to_string(i % 7) + "\\f" + std::to_string(i), small);
    }
    std::string large(16u << 20, 'x');
    for (size_t i = 0; i < large.size(); i += 61) large[i] = static_cast<char>('a' + i % 23);
    writer.addFile("Documents\\large.bin", large);
    InstallerRun installer(setupIni(names), writer.build());
    ASSERT_TRUE(installer.ready());

    const std::string title = " " + names.progName;  // the owner window's title during the run
    AnswerProbe probe([&title] { return FindWindowA("QRBInstalling", title.c_str()); });
    DWORD started = GetTickCount();
    DWORD boxAfterMs = 0;
    InstallerOutcome outcome = installer.run("-s", [&](const WindowInfo&) {
        if (boxAfterMs == 0) {
            boxAfterMs = GetTickCount() - started;
            probe.stop();
        }
        return Response::press(IDOK);
    });
    probe.stop();
    EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " " + names.version + " done EN"}}),
              outcome.messages)
        << outcome.run.describe();
    EXPECT_GE(probe.answered(), 1 + boxAfterMs / 250) << "answers in the " << boxAfterMs << " ms before the box";
    EXPECT_LE(probe.longestWaitMs(), 2000u) << "the box came after " << boxAfterMs << " ms";
}

// Any program the user runs can put something at the staging name before
// the elevated installer runs. A link there, or a link inside an old staging
// folder, leads to a folder of someone else's: it is left byte for byte and
// nothing is extracted into it; the run stops, naming the staging path. An
// old staging folder of plain files is replaced and the install goes on.
struct PlantCase {
    const char* what;
    // What is put at the staging path, pointing to `victim` (a folder with
    // files); false with the reason when the platform cannot make it.
    bool (*plant)(const std::string& staging, const std::string& victim, std::string* why);
    bool installs;
};

bool plantLink(const std::string& staging, const std::string& victim, std::string* why) {
    return makeLink(staging, victim, why);
}

// The payload's Program folder would be extracted through the link.
bool plantLinkInside(const std::string& staging, const std::string& victim, std::string* why) {
    return writeFile(staging + "\\old.txt", "old") && makeLink(staging + "\\Program", victim, why);
}

bool plantOldTree(const std::string& staging, const std::string&, std::string*) {
    return writeFile(staging + "\\Program\\old.txt", "old") && writeFile(staging + "\\Documents\\sub\\old.txt", "old");
}

TEST(Extraction, StagingNameTakenBeforeTheRunNeverLeadsElsewhere) {
    const PlantCase cases[] = {
        {"the staging path a link to a folder", plantLink, false},
        {"a link inside an old staging folder", plantLinkInside, false},
        {"an old staging folder of plain files", plantOldTree, true},
    };
    for (const PlantCase& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramNames names("Planted");
        TempDir victim;
        ASSERT_TRUE(writeFile(victim / "keep.txt", "keep"));
        ASSERT_TRUE(writeFile(victim / "sub\\deeper.txt", "deeper"));
        const std::string staging = stagingFolder(names);
        std::string why;
        if (!c.plant(staging, victim.path(), &why)) GTEST_SKIP() << why;
        const std::string before = treeSnapshot(victim.path());

        ArchiveWriter writer;
        writer.addFile("Program\\" + names.progFile + ".exe", "not started for real");
        writer.addFile("Program\\keep.txt", "payload");
        writer.addFile("Documents\\note.txt", "payload");
        InstallerRun installer(setupIni(names), writer.build());
        ASSERT_TRUE(installer.ready());
        InstallerOutcome outcome = installer.run("-s", pressOk);

        EXPECT_EQ(before, treeSnapshot(victim.path())) << "the folder a link leads to is untouched";
        if (c.installs) {
            EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " " + names.version + " done EN"}}),
                      outcome.messages)
                << outcome.run.describe();
            EXPECT_EQ(1u, outcome.run.exitCode);
            EXPECT_FALSE(pathExists(staging)) << "the staging folder goes at exit";
            removeInstalled(names, programFilesFolder() + "\\" + names.progDir);
            continue;
        }
        EXPECT_EQ(std::vector<Shown>({{staging + "\\", "Unable to create file."},
                                      {names.progName, names.progName + " failed EN"}}),
                  outcome.messages)
            << outcome.run.describe();
        EXPECT_EQ(0u, outcome.run.exitCode);
        EXPECT_FALSE(pathExists(programFilesFolder() + "\\" + names.progDir)) << "nothing is installed";
    }
}

}  // namespace
