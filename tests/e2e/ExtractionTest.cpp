// Extraction inside the real installer: hostile payloads and names.
#include <gtest/gtest.h>

#include "InstallerRun.h"
#include "PrefixState.h"

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

}  // namespace
