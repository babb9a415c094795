// setup-pack check: each mistake a vendor can make is one row that names the
// problem, the line or key, and what would happen at install time.
#include "SetupCheck.h"
#include "TestProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ToolRun.h"

namespace {

namespace fs = std::filesystem;

// One mistake: a change to the example's setup INI or payload, and the one
// finding it must cause, given by its severity and the texts it must hold
// (location, key, consequence).
struct Mistake {
    const char* problem;
    std::function<void(std::string& ini, const fs::path& payload)> make;
    CheckFinding::Severity severity;
    std::vector<std::string> says;
};

void replace(std::string& text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    text.replace(at, from.size(), to);
}

std::function<void(std::string&, const fs::path&)> iniChange(std::string from, std::string to) {
    return [from, to](std::string& ini, const fs::path&) { replace(ini, from, to); };
}

class SetupCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = std::make_unique<ScratchFolder>("setup-check-test");
        root_ = scratch_->path();
        ASSERT_FALSE(root_.empty()) << "no scratch folder";
    }
    void TearDown() override { scratch_.reset(); }

    // The example: its setup INI, and a payload of a crafted SampleNotes.exe
    // of version 1.2 and the example's documents.
    void makeExample(const fs::path& dir, std::string& ini) {
        ini = readText(SETUP_EXAMPLE_DIR "/setup.ini");
        ASSERT_FALSE(ini.empty());
        writeText(dir / "payload/Program/SampleNotes.exe", craftProgram(ProgramShape()));
        fs::copy(SETUP_EXAMPLE_DIR "/Documents", dir / "payload/Documents", fs::copy_options::recursive);
    }

    std::vector<CheckFinding> check(const fs::path& dir, const std::string& ini, CheckSummary* summary = nullptr,
                                    bool strict = false) {
        writeText(dir / "setup.ini", ini);
        std::vector<CheckFinding> findings;
        CheckOptions options;
        options.strict = strict;
        CheckSummary s = checkSetupInputs((dir / "setup.ini").string(), (dir / "payload").string(), options,
                                          [&](const CheckFinding& f) { findings.push_back(f); });
        if (summary) *summary = s;
        return findings;
    }

    std::unique_ptr<ScratchFolder> scratch_;
    fs::path root_;
};

std::string describe(const std::vector<CheckFinding>& findings) {
    std::string all;
    for (const CheckFinding& f : findings) all += "  " + formatFinding(f) + "\n";
    return all;
}

TEST_F(SetupCheckTest, ExamplePassesWithoutWarnings) {
    std::string ini;
    makeExample(root_, ini);
    CheckSummary summary;
    std::vector<CheckFinding> findings = check(root_, ini, &summary);
    EXPECT_EQ(0u, summary.errors) << describe(findings);
    EXPECT_EQ(0u, summary.warnings) << describe(findings);
    // The two registered values are shown, as the registry will hold them.
    std::string all = describe(findings);
    EXPECT_NE(std::string::npos, all.find("setup.ini:11: note: Open registers (installed in C:\\Program Files (x86)"
                                          "\\SampleNotes): \"C:\\Program Files (x86)\\SampleNotes\\SampleNotes.exe\" "
                                          "\"%1\"")) << all;
}

TEST_F(SetupCheckTest, EachMistakeIsFoundWithWhereAndWhatHappens) {
    using S = CheckFinding::Severity;
    const std::string longText(1100, 'x');
    const Mistake mistakes[] = {
        {"key missing from EN", iniChange("InstallCompleted=%s %s has been installed.\r\n", ""), S::Error,
         {"setup.ini:14: error: key InstallCompleted is missing from [EN]", "Invalid Setup.Ini"}},
        {"key empty in EN", iniChange("InstallOk=OK\r\nInstallCancel=Cancel", "InstallOk=\r\nInstallCancel=Cancel"),
         S::Error, {"setup.ini:14:", "InstallOk is empty in [EN] (line 29)", "Invalid Setup.Ini"}},
        {"key missing from a language", iniChange("InstallNo=&Non\r\n", ""), S::Warning,
         {"setup.ini:43:", "InstallNo is missing from [FR]", "French users see the English text"}},
        {"ProgFile misspelt", iniChange("ProgFile=SampleNotes", "ProgFile=SampleNote"), S::Error,
         {"setup.ini:5:", "no Program/SampleNote.exe", "start nothing", "Program/ holds SampleNotes.exe"}},
        {"ProgFile with .exe", iniChange("ProgFile=SampleNotes", "ProgFile=SampleNotes.exe"), S::Error,
         {"setup.ini:5:", "ends with \".exe\"", "SampleNotes.exe.exe"}},
        {"ProgDir with a folder", iniChange("ProgDir=SampleNotes", "ProgDir=Bistro Soft\\Caf\xE9 Planner"), S::Error,
         {"setup.ini:6:", "ProgDir \"Bistro Soft\\Café Planner\" is not a plain", "path separator",
          "not been installed"}},
        // A language's own names are found again by "-u" only while they are
        // plain names and tell one install from another.
        {"a language's ProgDir ending with a point",
         iniChange("[FR]\r\n", "[FR]\r\nProgDir=Notes.\r\n"), S::Error,
         {"setup.ini:44:", "ProgDir \"Notes.\" of [FR] is not a plain", "not found again by \"-u\""}},
        {"a language's other ProgFile under the same ProgDir and ProgName",
         iniChange("[FR]\r\n", "[FR]\r\nProgFile=Notes\r\n"), S::Error,
         {"setup.ini:44:", "ProgFile \"Notes\" of [FR] differs from \"SampleNotes\" of [EN]",
          "cannot tell which program file"}},
        {"ProgName with a colon", iniChange("ProgName=Sample Notes", "ProgName=Notes: Pro"), S::Error,
         {"setup.ini:3:", "ProgName", "':'", "staging folder"}},
        // ProgName and ProgVersion are formatted with no texts: a %s there shows nothing.
        {"ProgName with %s", iniChange("ProgName=Sample Notes", "ProgName=%s Notes"), S::Error,
         {"setup.ini:3:", "ProgName \" Notes\"", "starts with a blank"}},
        {"ProgVersion with %s", iniChange("ProgVersion=1.2", "ProgVersion=%s1.3"), S::Warning,
         {"setup.ini:4:", "ProgVersion \"1.3\" differs from the file version 1.2"}},
        {"no Program folder", [](std::string&, const fs::path& p) { fs::remove_all(p / "Program"); }, S::Error,
         {"payload: error: has no Program/ folder", "install nothing"}},
        {"empty Program folder",
         [](std::string&, const fs::path& p) { fs::remove(p / "Program/SampleNotes.exe"); }, S::Error,
         {"payload/Program: error: is empty"}},
        {"INI saved as UTF-8", iniChange("ProgName=Sample Notes", "ProgName=Caf\xC3\xA9 Planner"), S::Error,
         {"setup.ini:3: error: UTF-8 text", "shows \"ProgName=CafÃ© Planner\""}},
        {"INI with a byte-order mark", [](std::string& ini, const fs::path&) { ini.insert(0, "\xEF\xBB\xBF"); },
         S::Error, {"setup.ini:1: error:", "byte-order mark"}},
        {"LF-only lines",
         [](std::string& ini, const fs::path&) {
             std::string lf;
             for (char c : ini) if (c != '\r') lf += c;
             ini = lf;
         },
         S::Warning, {"setup.ini:1: warning: line ends with LF alone"}},
        {"control character", iniChange("InstallOk=OK", "InstallOk=O\x07K"), S::Warning,
         {"setup.ini:29:", "control character 0x07"}},
        {"Open with one pair of quotes",
         iniChange("Open=\"\"%s\\SampleNotes.exe\" \"%%1\"\"", "Open=\"%s\\SampleNotes.exe\" \"%%1\""), S::Error,
         {"setup.ini:11: error: the profile reader removes the quotes",
          "registers the command: C:\\Program Files (x86)\\SampleNotes\\SampleNotes.exe\" \"%1;", "fails",
          "Open=\"\"%s"}},
        {"Open with unpaired quotes", iniChange("\" \"%%1\"\"", "\" \"%%1\""), S::Error,
         {"setup.ini:11:", "do not pair up"}},
        {"Open without quotes",
         iniChange("Open=\"\"%s\\SampleNotes.exe\" \"%%1\"\"", "Open=%s\\SampleNotes.exe %%1"), S::Error,
         {"setup.ini:11:", "not in quotes", "first blank"}},
        {"Open without the document", iniChange("\" \"%%1\"\"", "\"\""), S::Warning,
         {"setup.ini:11:", "without %1", "not passed"}},
        {"backslash n in a path", iniChange("Icon=%s\\SampleNotes.exe,0", "Icon=%s\\notes.exe,0"), S::Error,
         {"setup.ini:12:", "line break"}},
        {"Open names a program the payload lacks", iniChange("%s\\SampleNotes.exe\" \"%%1", "%s\\Other.exe\" \"%%1"),
         S::Error, {"setup.ini:11:", "no Program/Other.exe", "double-clicking a document fails"}},
        {"FileType without Icon", iniChange("Icon=%s\\SampleNotes.exe,0\r\n", ""), S::Error,
         {"setup.ini:8:", "Icon is missing from [FileType]", "empty icon", "all four or none"}},
        {"FileType without Type", iniChange("Type=SampleNotes.Document\r\n", ""), S::Error,
         {"setup.ini:8:", "Type is missing", "no file type is registered"}},
        {"Extension without its point", iniChange("Extension=.snote", "Extension=snote"), S::Error,
         {"setup.ini:10:", "lacks its leading point", "unassociated"}},
        {"version not a number", iniChange("ProgVersion=1.2", "ProgVersion=v1.2"), S::Error,
         {"setup.ini:4:", "does not start with a number", "refused"}},
        {"version part the record cannot hold", iniChange("ProgVersion=1.2", "ProgVersion=1.2.70000"), S::Error,
         {"setup.ini:4:", "has the part 70000", "version record cannot hold"}},
        {"version of three parts", iniChange("ProgVersion=1.2", "ProgVersion=1.2.1"), S::Warning,
         {"setup.ini:4:", "not major.minor", "as written"}},
        {"version with leading zero", iniChange("ProgVersion=1.2", "ProgVersion=1.02"), S::Warning,
         {"setup.ini:4:", "reads as 1.2"}},
        {"version newer than the record", iniChange("ProgVersion=1.2", "ProgVersion=1.3"), S::Warning,
         {"setup.ini:4:", "differs from the file version 1.2", "DisplayVersion"}},
        {"version older than the record", iniChange("ProgVersion=1.2", "ProgVersion=1.1"), S::Error,
         {"setup.ini:4:", "differs from the file version 1.2", "refused"}},
        {"program without version record",
         [](std::string&, const fs::path& p) {
             ProgramShape shape;
             shape.version = 0;
             writeText(p / "Program/SampleNotes.exe", craftProgram(shape));
         },
         S::Warning, {"setup.ini:4:", "no version record", "DisplayVersion stays empty", "older version"}},
        {"program not a Windows program",
         [](std::string&, const fs::path& p) { writeText(p / "Program/SampleNotes.exe", "#!/bin/sh\n"); }, S::Error,
         {"payload/Program/SampleNotes.exe: error: is not a Windows program"}},
        {"program neither GUI nor console",
         [](std::string&, const fs::path& p) {
             ProgramShape shape;
             shape.subsystem = 1;
             writeText(p / "Program/SampleNotes.exe", craftProgram(shape));
         },
         S::Error, {"SampleNotes.exe: error:", "subsystem 1"}},
        {"name outside Windows-1252",
         [](std::string&, const fs::path& p) { writeText(p / "Documents/\xE8\xAA\xAC\xE6\x98\x8E.txt", "x"); },
         S::Warning, {"payload/Documents/説明.txt: warning:", "Windows-1252", "Unable to create file.", "932 (Japanese)"}},
        // An encoded surrogate half: the bytes pair up, but build's decoder refuses them.
        {"name not strict UTF-8",
         [](std::string&, const fs::path& p) { writeText(p / "Documents/\xED\xA0\x80.txt", "x"); }, S::Error,
         {"error: its name is not UTF-8"}},
        {"path too long for the staging folder",
         [](std::string&, const fs::path& p) { writeText(p / "Documents" / std::string(200, 'd') / "file.txt", "x"); },
         S::Error, {"file.txt: error:", "staging folder C:\\Users\\<20 characters>\\AppData\\Local\\Temp\\Sample Notes\\",
                    "Unable to create file."}},
        {"path too long for the install folder",
         [](std::string& ini, const fs::path& p) {
             replace(ini, "ProgDir=SampleNotes", "ProgDir=" + std::string(150, 'p'));
             writeText(p / "Program" / std::string(90, 'f'), "x");
         },
         S::Error, {"error: its path under the install folder C:\\Program Files (x86)\\ppp", "rolled back"}},
        {"program file name starting with '['",
         [](std::string&, const fs::path& p) { writeText(p / "Program/[old].txt", "x"); }, S::Error,
         {"payload/Program/[old].txt: error:", "'['", "left behind"}},
        {"section no language reads", iniChange("[NL]", "[JA]"), S::Warning,
         {"setup.ini:72: warning: section [JA] is never read", "(Japanese is [JP]); Japanese users see the [EN] texts"}},
        {"unknown section", iniChange("[FileType]", "[FileTypes]"), S::Warning,
         {"setup.ini:8:", "[FileTypes] is never read"}},
        {"empty section", [](std::string& ini, const fs::path&) { ini += "[DE]\r\n"; }, S::Warning,
         {"[DE] has no keys"}},
        {"second section of a name", [](std::string& ini, const fs::path&) { ini += "[en]\r\nInstallOk=Okay\r\n"; },
         S::Warning, {"a second section [en] (the first is at line 14)", "never read"}},
        {"second key of a name", iniChange("InstallOk=OK\r\n", "InstallOk=OK\r\nINSTALLOK=Okay\r\n"), S::Warning,
         {"setup.ini:30:", "a second INSTALLOK in [EN]", "line 29"}},
        {"misspelt key", iniChange("InstallYes=&Yes\r\n", "InstallYes=&Yes\r\nInstalNo=&No\r\n"), S::Warning,
         {"InstalNo in [EN] is never read; did you mean InstallNo?"}},
        {"key before any section", iniChange("[Settings]", "ProgName=Early\r\n[Settings]"), S::Warning,
         {"setup.ini:2:", "ProgName stands before any section", "never reads it"}},
        {"section line without its bracket", iniChange("[FR]", "[FR"), S::Warning,
         {"setup.ini:43:", "without its ']'", "stay in [EN]"}},
        {"line without equals sign", iniChange("InstallOk=OK\r\n", "InstallOk=OK\r\nInstallOk OK\r\n"), S::Warning,
         {"setup.ini:30:", "has no '='"}},
        {"text too long once formatted", iniChange("NotDir=This folder", "NotDir=%s%s%s" + longText), S::Warning,
         {"setup.ini:27:", "once formatted for [EN]", "first 1023"}},
        {"value over 1023 bytes", iniChange("NotDir=This folder", "NotDir=" + longText), S::Warning,
         {"setup.ini:27:", "only its first 1023"}},
        {"four %s", iniChange("InstallOk=OK", "InstallOk=%s%s%s%s"), S::Warning,
         {"setup.ini:29:", "4 %s", "show nothing"}},
        {"other percent directive", iniChange("InstallOk=OK", "InstallOk=100%d"), S::Warning,
         {"setup.ini:29:", "\"%d\", which is shown as written"}},
    };
    int index = 0;
    for (const Mistake& m : mistakes) {
        SCOPED_TRACE(m.problem);
        fs::path dir = root_ / std::to_string(index++);
        std::string ini;
        makeExample(dir, ini);
        m.make(ini, dir / "payload");
        std::vector<CheckFinding> findings = check(dir, ini);
        bool found = false;
        for (const CheckFinding& f : findings) {
            std::string text = formatFinding(f);
            bool all = f.severity == m.severity;
            for (const std::string& part : m.says) all = all && text.find(part) != std::string::npos;
            found = found || all;
        }
        EXPECT_TRUE(found) << describe(findings);
    }
}

TEST_F(SetupCheckTest, StrictTurnsWarningsIntoErrors) {
    std::string ini;
    makeExample(root_, ini);
    replace(ini, "InstallNo=&Non\r\n", "");
    CheckSummary summary;
    check(root_, ini, &summary);
    EXPECT_EQ(0u, summary.errors);
    EXPECT_EQ(1u, summary.warnings);
    std::vector<CheckFinding> findings = check(root_, ini, &summary, true);
    EXPECT_EQ(1u, summary.errors);
    EXPECT_EQ(0u, summary.warnings);
}

// The command line: exit status 1 on errors, 0 with warnings, 2 on bad usage.
TEST_F(SetupCheckTest, CommandExitStatus) {
    std::string ini;
    makeExample(root_, ini);
    writeText(root_ / "ok.ini", ini);
    std::string warned = ini;
    replace(warned, "InstallNo=&Non\r\n", "");
    writeText(root_ / "warned.ini", warned);
    std::string broken = ini;
    replace(broken, "ProgFile=SampleNotes", "ProgFile=Missing");
    writeText(root_ / "broken.ini", broken);
    struct Run {
        std::vector<std::string> args;
        int status;
    };
    const std::string payload = (root_ / "payload").string();
    const Run runs[] = {
        {{"--ini", (root_ / "ok.ini").string(), "--payload", payload}, 0},
        {{"--ini", (root_ / "warned.ini").string(), "--payload", payload}, 0},
        {{"--ini", (root_ / "warned.ini").string(), "--payload", payload, "--strict"}, 1},
        {{"--ini", (root_ / "broken.ini").string(), "--payload", payload}, 1},
        {{"--ini", (root_ / "ok.ini").string()}, 2},
        {{"--help"}, 0},
    };
    for (const Run& r : runs) {
        std::vector<std::string> args{"check"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        std::string shownArgs;
        for (const std::string& a : args) shownArgs += " " + a;
        SCOPED_TRACE(shownArgs);
        ToolRun run = runSetupPack(args, root_);
        EXPECT_EQ(r.status, run.exitCode) << run.err;
    }
}

}  // namespace
