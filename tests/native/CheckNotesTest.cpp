// What setup-pack check and info tell a vendor: every note shows the value
// exactly as the installer writes it (one row per kind of value), what runs
// on "-u", warnings with their names and --no-warn, and a program's version
// record.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "InstallerResources.h"
#include "SetupCheck.h"
#include "TestPe.h"
#include "TestProgram.h"
#include "ToolRun.h"
#include "VersionRecord.h"

namespace {

namespace fs = std::filesystem;

const char kInstalled[] = "C:\\Program Files (x86)\\SampleNotes";

void replaceLine(std::string& ini, const std::string& key, const std::string& line) {
    size_t at = ini.find("\r\n" + key + "=");
    ASSERT_NE(std::string::npos, at) << key;
    size_t end = ini.find("\r\n", at + 2);
    ini.replace(at + 2, end - at - 2, line);
}

// The library's marks, as a program that links it carries them.
std::string withLibraryMarks(std::string program) {
    const char wide[] = "\"\0 \0-\0-\0r\0e\0m\0o\0v\0e\0";
    return program + std::string(wide, sizeof wide - 1) + "(setup-uninstall.ini) is missing";
}

class CheckNotesTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = std::make_unique<ScratchFolder>("check-notes-test");
        root_ = scratch_->path();
        ASSERT_FALSE(root_.empty()) << "no scratch folder";
        ini_ = readText(SETUP_EXAMPLE_DIR "/setup.ini");
        writeText(root_ / "payload/Program/SampleNotes.exe", withLibraryMarks(craftProgram(ProgramShape())));
    }

    std::vector<std::string> notes(const CheckOptions& options = CheckOptions()) {
        writeText(root_ / "setup.ini", ini_);
        std::vector<std::string> found;
        checkSetupInputs((root_ / "setup.ini").string(), (root_ / "payload").string(), options,
                         [&](const CheckFinding& f) {
                             if (f.severity == CheckFinding::Severity::Note) found.push_back(formatFinding(f));
                         });
        return found;
    }

    ToolRun check(std::vector<std::string> extra) {
        writeText(root_ / "setup.ini", ini_);
        std::vector<std::string> args{"check", "--ini", (root_ / "setup.ini").string(), "--payload",
                                      (root_ / "payload").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return runSetupPack(args, root_);
    }

    std::unique_ptr<ScratchFolder> scratch_;
    fs::path root_;
    std::string ini_;
};

bool holds(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& line : lines) {
        if (line.find(wanted) != std::string::npos) return true;
    }
    return false;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += "  " + line + "\n";
    return all;
}

TEST_F(CheckNotesTest, EachRegisteredValueIsShownAsTheInstallerWritesIt) {
    const std::string dir = kInstalled;
    const struct {
        const char* what;
        const char* key;
        std::string line;
        std::string note;  // after "KEY registers (installed in ...): "
    } cases[] = {
        {"a command", "Open", "Open=\"\"%s\\SampleNotes.exe\" \"%%1\"\"", "\"" + dir + "\\SampleNotes.exe\" \"%1\""},
        // \n becomes a line break, which the note shows: the command the error is about.
        {"a command with \\n", "Open", "Open=\"\"%s\\new\\SampleNotes.exe\" \"%%1\"\"",
         "\"" + dir + "<line break>ew\\SampleNotes.exe\" \"%1\""},
        {"a command with %%", "Open", "Open=\"\"%s\\SampleNotes.exe\" \"%%1\" /p100%%\"",
         "\"" + dir + "\\SampleNotes.exe\" \"%1\" /p100%"},
        {"an icon", "Icon", "Icon=%s\\SampleNotes.exe,0", dir + "\\SampleNotes.exe,0"},
        {"an icon with \\n", "Icon", "Icon=%s\\notes.ico,0", dir + "<line break>otes.ico,0"},
        // The profile reader takes one pair of quotes off.
        {"an icon in quotes", "Icon", "Icon=\"%s\\SampleNotes.exe,0\"", dir + "\\SampleNotes.exe,0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        replaceLine(ini_, c.key, c.line);
        std::vector<std::string> found = notes();
        std::string wanted = std::string(c.key) + " registers (installed in " + dir + "): " + c.note;
        bool exact = false;
        for (const std::string& line : found) {
            size_t at = line.find(": note: ");
            exact = exact || (at != std::string::npos && line.substr(at + 8) == wanted);
        }
        EXPECT_TRUE(exact) << wanted << "\n" << joined(found);
    }
}

TEST_F(CheckNotesTest, SaysWhatRunsOnMinusU) {
    const struct {
        const char* what;
        std::function<void(const fs::path& program)> make;
        bool launcher;
        const char* says;
    } cases[] = {
        {"the library", [](const fs::path&) {}, false, "handles \"-u\" itself: it holds the uninstall library"},
        {"setup-uninstall.exe, started by the program",
         [](const fs::path& program) {
             writeText(program / "SampleNotes.exe", craftProgram(ProgramShape()) + "setup-uninstall.exe");
             writeText(program / "setup-uninstall.exe", "MZ");
         },
         false, "names setup-uninstall.exe, which Program/ holds"},
        {"nothing", [](const fs::path& program) { writeText(program / "SampleNotes.exe", craftProgram(ProgramShape())); },
         false, "nothing known handles \"-u\""},
        {"the launcher", [](const fs::path& program) { writeText(program / "SampleNotes.exe", craftProgram(ProgramShape())); },
         true, "on \"-u\" the launcher runs the uninstall: with --launcher this program is installed as "
               "SampleNotes.program.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.make(root_ / "payload/Program");
        CheckOptions options;
        options.launcher = c.launcher;
        std::vector<std::string> found = notes(options);
        EXPECT_TRUE(holds(found, "SampleNotes.exe: note: " + std::string(c.says))) << joined(found);
    }
}

// A program the vendor cannot change has no version record: the warning has
// a name, and --no-warn with it passes --strict.
TEST_F(CheckNotesTest, WarningsCarryTheirNameAndNoWarnLeavesThemOut) {
    ProgramShape bare;
    bare.version = 0;
    writeText(root_ / "payload/Program/SampleNotes.exe", craftProgram(bare));
    const struct {
        std::vector<std::string> options;
        int status;
        const char* says;  // null: nothing about the version record
    } runs[] = {
        {{}, 0, "has no version record: the uninstall entry's DisplayVersion stays empty"},
        {{}, 0, "warning: Program/SampleNotes.exe has no version record"},
        {{}, 0, "version " "1.2 [-Wno-version-record]\n"},
        {{"--strict"}, 1, " [-Werror=no-version-record]\n"},
        {{"--strict", "--no-warn", "no-version-record"}, 0, nullptr},
        {{"--no-warn=no-version-record", "--strict"}, 0, nullptr},
        {{"--strict", "--no-warn", "line-ending"}, 1, "[-Werror=no-version-record]"},
        {{"--no-warn", "no-such-warning"}, 2, "--no-warn takes a warning's name, one of: 64-bit-program"},
        {{"--no-warn"}, 2, "--no-warn takes a warning's name"},
    };
    for (const auto& r : runs) {
        std::string shownArgs;
        for (const std::string& a : r.options) shownArgs += " " + a;
        SCOPED_TRACE(shownArgs);
        ToolRun run = check(r.options);
        EXPECT_EQ(r.status, run.exitCode) << run.err;
        if (r.says) {
            EXPECT_NE(std::string::npos, run.err.find(r.says)) << run.err;
        } else {
            EXPECT_EQ(std::string::npos, run.err.find("version record")) << run.err;
        }
    }
    // Every name the help lists is one --no-warn takes.
    for (const std::string& name : warningNames()) {
        SCOPED_TRACE(name);
        EXPECT_NE(2, check({"--no-warn", name}).exitCode);
    }
}

// build prints the same named warnings and takes the same --no-warn.
TEST_F(CheckNotesTest, BuildLeavesOutTheSameKinds) {
    ProgramShape bare;
    bare.version = 0;
    writeText(root_ / "payload/Program/SampleNotes.exe", craftProgram(bare));
    std::vector<uint8_t> stub = TestPe().build();
    writeText(root_ / "stub.exe", std::string(stub.begin(), stub.end()));
    writeText(root_ / "setup.ini", ini_);
    auto build = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"build", "--ini", (root_ / "setup.ini").string(), "--payload",
                                      (root_ / "payload").string(), "--stub", (root_ / "stub.exe").string(),
                                      "--output", (root_ / "setup.exe").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return runSetupPack(args, root_);
    };
    ToolRun warned = build({});
    EXPECT_EQ(0, warned.exitCode) << warned.err;
    EXPECT_NE(std::string::npos, warned.err.find("[-Wno-version-record]")) << warned.err;
    ToolRun silenced = build({"--no-warn", "no-version-record"});
    EXPECT_EQ(0, silenced.exitCode) << silenced.err;
    EXPECT_EQ(std::string::npos, silenced.err.find("version record")) << silenced.err;
    EXPECT_EQ(2, build({"--no-warn", "no-such-warning"}).exitCode);
}

TEST_F(CheckNotesTest, InfoPrintsTheVersionRecord) {
    ProgramShape shape;
    shape.version = 0x00030009;
    writeText(root_ / "versioned.exe", craftProgram(shape));
    ProgramShape bare;
    bare.version = 0;
    writeText(root_ / "bare.exe", craftProgram(bare));
    writeText(root_ / "text.txt", "not a program");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } runs[] = {
        {{"info", "versioned.exe"}, 0, "file version: 3.9.0.0\nproduct version: 3.9.0.0\n"},
        {{"info", "versioned.exe"}, 0, "ProgVersion to write: 3.9 "},
        {{"info", "bare.exe"}, 0, "no version record: the installer leaves the uninstall entry's DisplayVersion empty"},
        // verify holds a program to the loader's rules first: this one has no manifest.
        {{"verify", "versioned.exe"}, 1, ""},
        {{"info", "text.txt"}, 1, ""},
        {{"info"}, 2, ""},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.args[0] + (r.args.size() > 1 ? " " + r.args[1] : ""));
        std::vector<std::string> args = r.args;
        if (args.size() > 1) args[1] = (root_ / args[1]).string();
        ToolRun run = runSetupPack(args, root_);
        EXPECT_EQ(r.status, run.exitCode) << run.err;
        EXPECT_NE(std::string::npos, run.out.find(r.says)) << run.out;
    }
}

// The texts of a version block, as build writes them, read back in order;
// a block cut anywhere gives what lies before the cut, never more.
TEST(VersionRecordTexts, ReadsTheStringTableAndStopsAtACut) {
    VersionTexts texts;
    texts.productName = u"Caf\u00E9 Notes";
    texts.productVersion = u"2.7";
    texts.fileDescription = u"Notes";
    texts.companyName = u"QRB";
    uint64_t version = 0;
    std::string reason;
    ASSERT_TRUE(fixedVersionFromText("2.7", version, reason)) << reason;
    ByteVector block;
    ASSERT_TRUE(buildVersionBlock(texts, version, block, reason)) << reason;
    std::vector<std::pair<std::string, std::string>> read;
    ASSERT_TRUE(readVersionTexts(block.data(), block.size(), read));
    auto value = [&](const std::string& key) {
        for (const auto& text : read) {
            if (text.first == key) return text.second;
        }
        return std::string("(none)");
    };
    EXPECT_EQ("Caf\xC3\xA9 Notes", value("ProductName"));
    EXPECT_EQ("2.7", value("ProductVersion"));
    EXPECT_EQ("2.7", value("FileVersion"));
    EXPECT_EQ("QRB", value("CompanyName"));
    for (size_t cut = 0; cut < block.size(); ++cut) {
        // A copy of exactly the bytes before the cut: a read past it is caught.
        ByteVector head(block.begin(), block.begin() + static_cast<long>(cut));
        std::vector<std::pair<std::string, std::string>> partial;
        readVersionTexts(head.data(), head.size(), partial);
        EXPECT_LE(partial.size(), read.size());
    }
}

}  // namespace
