// setup-pack build --launcher: the launcher stored in the program's place
// with the program's icons and version record, the program beside it byte
// for byte, both in the uninstall manifest; and the refusals.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "InstallerBuild.h"
#include "LauncherBuild.h"
#include "PeImage.h"
#include "TestPe.h"
#include "TestProgram.h"
#include "ToolRun.h"
#include "archive/ArchiveFormat.h"

namespace {

namespace fs = std::filesystem;

const std::string kIni = "[Settings]\r\nProgName=Plain Notes\r\nProgVersion=2.7\r\nProgFile=Notes\r\n"
                         "ProgDir=PlainNotes\r\n" + languageSection("EN");

std::string bytesText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A program with a version record (2.7), one icon group and its icon.
std::string programWithIcon() {
    ProgramShape shape;
    shape.version = 0x00020007;
    std::string crafted = craftProgram(shape);
    PeImage image;
    std::string error;
    EXPECT_TRUE(image.parse(std::make_shared<const ByteVector>(crafted.begin(), crafted.end()), error)) << error;
    auto leaf = [](uint16_t type, uint16_t name, const std::string& data) {
        return ResourceLeaf{ResourceName::number(type), ResourceName::number(name), 0x409, 0,
                            std::make_shared<const ByteVector>(data.begin(), data.end())};
    };
    image.setResource(leaf(kResourceIcon, 1, "ICON-IMAGE"));
    image.setResource(leaf(kResourceGroupIcon, 7, std::string("\0\0\1\0\1\0GROUP", 12)));
    PeOutput out;
    EXPECT_TRUE(image.layout(out, error)) << error;
    std::string bytes;
    for (const auto& piece : out.pieces) bytes.append(reinterpret_cast<const char*>(piece.first), piece.second);
    return bytes;
}

struct Stored {
    std::string name, contents;
    uint32_t attributes;
    uint64_t writeTime;
};

// The entries of a built installer's payload, decoded.
std::vector<Stored> storedEntries(const fs::path& installer) {
    std::vector<uint8_t> archive;
    std::string about, error;
    EXPECT_TRUE(readPayloadSource(installer.string(), archive, about, error)) << error;
    std::vector<Stored> entries;
    EntryWalker walker(archive.data(), static_cast<uint32_t>(archive.size()), false);
    ArchiveEntry e;
    while (walker.next(e) == EntryWalker::Entry) {
        Stored stored{entryNameText(e.name, e.nameUnits, false), std::string(e.sizeLow, '\0'), e.attributes,
                      uint64_t(e.lastWriteTime.high) << 32 | e.lastWriteTime.low};
        uLongf size = e.sizeLow;
        if (!e.isDirectory() && e.sizeLow) {
            EXPECT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef*>(&stored.contents[0]), &size, e.packedData,
                                       e.packedSizeLow));
        }
        entries.push_back(stored);
    }
    return entries;
}

const Stored* entryNamed(const std::vector<Stored>& entries, const std::string& name) {
    for (const Stored& e : entries) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

class LauncherBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = std::make_unique<ScratchFolder>("setup-pack-launcher");
        root_ = scratch_->path();
        ASSERT_FALSE(root_.empty()) << "no scratch folder";
        writeText(root_ / "stub.exe", bytesText(TestPe().build()));
        writeText(root_ / "launcher.exe", bytesText(TestPe().build()));
        writeText(root_ / "setup.ini", kIni);
        program_ = programWithIcon();
        writeText(root_ / "payload/Program/Notes.exe", program_);
        writeText(root_ / "payload/Program/Notes.ini", "[Screen]\r\n");
        writeText(root_ / "payload/Documents/Note.txt", "a note");
        chmod((root_ / "payload/Program/Notes.exe").c_str(), 0555);
        struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
        utimensat(AT_FDCWD, (root_ / "payload/Program/Notes.exe").c_str(), times, 0);
    }

    ToolRun build(const std::vector<std::string>& extra) {
        std::vector<std::string> args{"build", "--ini", (root_ / "setup.ini").string(), "--payload",
                                      (root_ / "payload").string(), "--stub", (root_ / "stub.exe").string(),
                                      "--output", (root_ / "setup.exe").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return runSetupPack(args, root_);
    }
    std::string launcherOption() const { return "--launcher=" + (root_ / "launcher.exe").string(); }

    std::unique_ptr<ScratchFolder> scratch_;
    fs::path root_;
    std::string program_;
};

TEST_F(LauncherBuildTest, TheLauncherTakesTheProgramsPlace) {
    ToolRun built = build({launcherOption()});
    ASSERT_EQ(0, built.exitCode) << built.err;
    std::vector<Stored> entries = storedEntries(root_ / "setup.exe");
    std::vector<std::string> names;
    // The uninstall manifest's copy for this version is named by a hash of
    // the version: stands for it as "setup-uninstall.*.ini".
    for (const Stored& e : entries) {
        const bool versionCopy = e.name.rfind("Program\\setup-uninstall.", 0) == 0 && e.name.size() == 44;
        names.push_back(versionCopy ? "Program\\setup-uninstall.*.ini" : e.name);
    }
    EXPECT_EQ(std::vector<std::string>({"Documents", "Documents\\Note.txt", "Program", "Program\\Notes.exe",
                                        "Program\\Notes.ini", "Program\\Notes.program.exe",
                                        "Program\\setup-uninstall.*.ini", "Program\\setup-uninstall.ini"}),
              names);
    const Stored* launcher = entryNamed(entries, "Program\\Notes.exe");
    const Stored* program = entryNamed(entries, "Program\\Notes.program.exe");
    const Stored* manifest = entryNamed(entries, "Program\\setup-uninstall.ini");
    ASSERT_TRUE(launcher && program && manifest);
    EXPECT_EQ(program_, program->contents);
    // The program's times and read-only attribute stay with the name the
    // shortcuts use.
    EXPECT_EQ(program->attributes, launcher->attributes);
    EXPECT_EQ(program->writeTime, launcher->writeTime);
    EXPECT_NE(std::string::npos, manifest->contents.find("\r\nNotes.exe\r\nNotes.ini\r\nNotes.program.exe\r\n"))
        << manifest->contents;

    // The launcher, with the program's icon group, icon and version record.
    PeImage image, original;
    std::string error;
    ASSERT_TRUE(image.parse(std::make_shared<const ByteVector>(launcher->contents.begin(), launcher->contents.end()),
                            error)) << error;
    ASSERT_TRUE(original.parse(std::make_shared<const ByteVector>(program_.begin(), program_.end()), error));
    EXPECT_EQ(kSubsystemGui, image.subsystem());
    for (uint16_t type : {kResourceIcon, kResourceGroupIcon, kResourceVersion}) {
        SCOPED_TRACE(type);
        const ResourceLeaf* want = nullptr;
        for (const ResourceLeaf& leaf : original.resources()) {
            if (leaf.type == ResourceName::number(type)) want = &leaf;
        }
        ASSERT_NE(nullptr, want);
        const ResourceLeaf* got = image.find(want->type, want->name, want->language);
        ASSERT_NE(nullptr, got);
        EXPECT_EQ(want->language, got->language);
        EXPECT_EQ(*want->data, *got->data);
    }
    PeFacts facts;
    ASSERT_TRUE(readPeFacts(reinterpret_cast<const uint8_t*>(launcher->contents.data()), launcher->contents.size(),
                            facts, error));
    EXPECT_EQ(0x0002000700000000u, facts.version.fileVersion);

    // Without --launcher the program is stored as it is.
    ASSERT_EQ(0, build({}).exitCode);
    entries = storedEntries(root_ / "setup.exe");
    ASSERT_NE(nullptr, entryNamed(entries, "Program\\Notes.exe"));
    EXPECT_EQ(program_, entryNamed(entries, "Program\\Notes.exe")->contents);
    EXPECT_EQ(nullptr, entryNamed(entries, "Program\\Notes.program.exe"));
}

TEST_F(LauncherBuildTest, RefusalsSayWhy) {
    TestPe consoleLauncher;
    consoleLauncher.subsystem = kSubsystemConsole;
    ProgramShape console;
    console.subsystem = kSubsystemConsole;
    const struct {
        const char* what;
        std::function<void(const fs::path&)> prepare;
        const char* message;
    } cases[] = {
        {"a console program", [&](const fs::path& root) { writeText(root / "payload/Program/Notes.exe", craftProgram(console)); },
         "Notes.exe: error: not a Windows GUI program; the launcher is one"},
        {"the stored name taken", [](const fs::path& root) { writeText(root / "payload/Program/notes.PROGRAM.exe", "x"); },
         "notes.PROGRAM.exe: error: the payload already holds a file of this name"},
        {"a launcher that is none", [&](const fs::path& root) { writeText(root / "launcher.exe", bytesText(consoleLauncher.build())); },
         "launcher.exe: error: not a Windows GUI program, so not the launcher"},
        {"no launcher file", [](const fs::path& root) { fs::remove(root / "launcher.exe"); }, "launcher.exe: error: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.prepare(root_);
        ToolRun built = build({launcherOption()});
        EXPECT_EQ(1, built.exitCode);
        EXPECT_NE(std::string::npos, built.err.find(c.message)) << built.err;
        EXPECT_FALSE(fs::exists(root_ / "setup.exe"));
    }
    EXPECT_EQ(2, build({"--launcher="}).exitCode);
}

TEST(LauncherSearch, LooksBesideTheProgramThenInTheBuildTreesThenInShare) {
    std::vector<std::string> found = launcherCandidates("/opt/x/bin/setup-pack");
    EXPECT_EQ(std::vector<std::string>({"/opt/x/bin/setup-launcher.exe", "/opt/x/bin/../uninstall/setup-launcher.exe",
                                        "/opt/x/bin/../win32/uninstall/setup-launcher.exe",
                                        "/opt/x/bin/../share/setup-pack/setup-launcher.exe",
                                        "/usr/share/setup-pack/setup-launcher.exe"}),
              found);
}

}  // namespace
