// The run from entry to exit: which messages each way out shows, in which
// order and with which captions, and the exit code.
#include <gtest/gtest.h>

#include "InstallerRun.h"
#include "PrefixState.h"

namespace {

const std::string kInitialFailure = "The program has not been installed.";

// Presses OK in message boxes and No in the install prompt (button id 7).
Response okOrNo(const WindowInfo& window) {
    if (window.isMessageBox()) return Response::press(IDOK);
    return Response::press(IDNO);
}

TEST(RunSequence, ConfigurationThatCannotBeStagedShowsOnlyTheInitialFailure) {
    ProgramNames names("Unstaged");
    InstallerRun installer(setupIni(names), payloadWithProgram(names));
    ASSERT_TRUE(installer.ready());
    ScopedEnvironment tmp("TMP", "C:\\no such folder\\tmp");
    ScopedEnvironment temp("TEMP", "C:\\no such folder\\tmp");
    InstallerOutcome outcome = installer.run("-s", okOrNo);
    EXPECT_EQ(std::vector<Shown>({{"Setup", kInitialFailure}}), outcome.messages) << outcome.run.describe();
    EXPECT_EQ("", outcome.ownerTitle) << "the owner window never gets a title";
    EXPECT_EQ(0u, outcome.run.exitCode);
}

struct MissingKeyCase {
    const char* key;
    const char* finalCaption;  // "" = the configured ProgName
    const char* finalText;     // "" = the configured InstallFailed text
};

TEST(RunSequence, MissingKeyShowsInvalidSetupIniThenTheCurrentFailureText) {
    const MissingKeyCase cases[] = {
        {"InstallNo", "", ""},             // the last key: everything before it is configured
        {"NotDir", "", ""},                // after InstallFailed
        {"InstallDesc", "", "initial"},    // before InstallFailed
        {"ProgName", "Setup", "initial"},  // the caption itself is missing
    };
    for (const MissingKeyCase& c : cases) {
        SCOPED_TRACE(c.key);
        ProgramNames names("MissingKey");
        std::string ini = setupIni(names);
        size_t at = ini.find(std::string(c.key) + "=");
        ASSERT_NE(std::string::npos, at);
        ini.erase(at, ini.find("\r\n", at) + 2 - at);
        InstallerRun installer(ini, payloadWithProgram(names));
        ASSERT_TRUE(installer.ready());

        InstallerOutcome outcome = installer.run("-s", okOrNo);
        std::string caption = *c.finalCaption ? c.finalCaption : names.progName;
        std::string text = *c.finalText ? kInitialFailure : names.progName + " failed EN";
        EXPECT_EQ(std::vector<Shown>({{"Setup", "Invalid Setup.Ini"}, {caption, text}}), outcome.messages)
            << outcome.run.describe();
        EXPECT_EQ("", outcome.ownerTitle);
        EXPECT_EQ(0u, outcome.run.exitCode);
    }
}

TEST(RunSequence, NewerInstalledVersionRefusesBeforeAnythingIsExtracted) {
    ProgramNames names("Gate");
    ExistingInstallation existing(names);
    existing.set("DisplayVersion", "1.10");  // newer than 1.2: numbers, not texts
    InstallerRun installer(setupIni(names), payloadWithProgram(names));
    ASSERT_TRUE(installer.ready());

    InstallerOutcome outcome = installer.run("-s", okOrNo);
    EXPECT_EQ(std::vector<Shown>({{names.progName, "Newer EN"}, {names.progName, names.progName + " failed EN"}}),
              outcome.messages)
        << outcome.run.describe();
    EXPECT_EQ(" " + names.progName, outcome.ownerTitle) << "a space, then ProgName";
    EXPECT_FALSE(pathExists(stagingFolder(names)));
    EXPECT_EQ(0u, outcome.run.exitCode);
}

struct TailCase {
    const char* arguments;
    bool prompts;
};

// A payload whose checksum fails: a run that gets past the prompt ends in
// the extraction, so nothing is installed whatever the prompt's answer.
ByteVector corruptPayload(const ProgramNames& names) {
    ByteVector payload = payloadWithProgram(names);
    payload[payload.size() / 2] ^= 0x40;
    return payload;
}

TEST(RunSequence, OnlyTheWholeTailMinusSSkipsThePrompt) {
    const TailCase cases[] = {
        {"-S", false}, {"-s x", true}, {"/s", true}, {"-sx", true}, {"", true},
    };
    for (const TailCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        ProgramNames names("Tail");
        InstallerRun installer(setupIni(names), corruptPayload(names));
        ASSERT_TRUE(installer.ready());
        InstallerOutcome outcome = installer.run(c.arguments, okOrNo);
        EXPECT_EQ(c.prompts ? 1u : 0u, outcome.dialogs.size()) << outcome.run.describe();
        EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " failed EN"}}), outcome.messages);
        EXPECT_EQ(0u, outcome.run.exitCode);
    }
}

TEST(RunSequence, AnswerNoEndsWithTheFailureTextAndTouchesNoStagingFolder) {
    ProgramNames names("PromptNo");
    InstallerRun installer(setupIni(names), payloadWithProgram(names));
    ASSERT_TRUE(installer.ready());
    InstallerOutcome outcome = installer.run("-s x", okOrNo);
    EXPECT_EQ(1u, outcome.dialogs.size()) << outcome.run.describe();
    EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " failed EN"}}), outcome.messages);
    EXPECT_FALSE(pathExists(stagingFolder(names)));
    EXPECT_EQ(0u, outcome.run.exitCode);
}

TEST(RunSequence, MatchingInstallLocationKeepsAnUnattendedRunUnattended) {
    struct LocationCase {
        const char* base;   // the location is base, a backslash and ProgDir (case changed)
        bool matches;
    };
    const LocationCase cases[] = {{"C:\\Some Base", true}, {"", true}};
    for (const LocationCase& c : cases) {
        SCOPED_TRACE(c.base);
        ProgramNames names("Location");
        ExistingInstallation existing(names);
        std::string dir = names.progDir;
        for (char& ch : dir) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        existing.set("InstallLocation", std::string(c.base) + "\\" + dir);
        InstallerRun installer(setupIni(names), corruptPayload(names));
        ASSERT_TRUE(installer.ready());
        InstallerOutcome outcome = installer.run("-s", okOrNo);
        EXPECT_TRUE(outcome.dialogs.empty()) << outcome.run.describe();
        EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " failed EN"}}), outcome.messages);
        EXPECT_FALSE(pathExists(stagingFolder(names))) << "the staging folder is removed at exit";
    }
}

TEST(RunSequence, OtherInstallLocationMakesAnUnattendedRunAsk) {
    ProgramNames names("Elsewhere");
    ExistingInstallation existing(names);
    existing.set("InstallLocation", "C:\\Elsewhere" + names.progDir);  // no backslash before ProgDir
    InstallerRun installer(setupIni(names), corruptPayload(names));
    ASSERT_TRUE(installer.ready());
    InstallerOutcome outcome = installer.run("-s", okOrNo);
    EXPECT_EQ(1u, outcome.dialogs.size()) << outcome.run.describe();
    EXPECT_EQ(0u, outcome.run.exitCode);
}

TEST(RunSequence, InstallLocationTooLongForABaseDirectoryLetsTheUserChoose) {
    ProgramNames names("TooLong");
    ExistingInstallation existing(names);
    existing.set("InstallLocation", "C:\\" + std::string(300, 'x') + "\\" + names.progDir);
    InstallerRun installer(setupIni(names), corruptPayload(names));
    ASSERT_TRUE(installer.ready());
    InstallerOutcome outcome = installer.run("-s", okOrNo);
    ASSERT_EQ(1u, outcome.run.windows.size() - outcome.messages.size()) << outcome.run.describe();
    const WindowInfo& prompt = outcome.run.windows.front().window;
    ASSERT_FALSE(prompt.isMessageBox());
    // The base directory stays ProgramFilesDir, and the directory part of
    // the prompt is there to change it.
    const ControlInfo* preview = prompt.control(1003);
    ASSERT_NE(nullptr, preview);
    EXPECT_TRUE(preview->visible);
    EXPECT_EQ(programFilesFolder() + "\\" + names.progDir, preview->text);
    EXPECT_EQ(0u, outcome.run.exitCode);
}

TEST(RunSequence, CorruptPayloadShowsOnlyTheFailureTextAndLeavesNoStagingFolder) {
    ProgramNames names("Corrupt");
    InstallerRun installer(setupIni(names), corruptPayload(names));
    ASSERT_TRUE(installer.ready());
    ASSERT_TRUE(CreateDirectoryA(stagingFolder(names).c_str(), nullptr)) << "an old staging folder";
    InstallerOutcome outcome = installer.run("-s", okOrNo);
    EXPECT_EQ(std::vector<Shown>({{names.progName, names.progName + " failed EN"}}), outcome.messages)
        << outcome.run.describe();
    EXPECT_FALSE(pathExists(stagingFolder(names)));
    EXPECT_EQ(0u, outcome.run.exitCode);
}

}  // namespace
