// setup-pack build as a vendor runs it: a stub, a setup INI and a payload
// folder in; an installer out that reads back, the same bytes for the same
// inputs, and refusals that name the problem.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "InstallerBuild.h"
#include "PeImage.h"
#include "TestPe.h"
#include "TestProgram.h"
#include "ToolRun.h"

namespace {

namespace fs = std::filesystem;

void setWriteTime(const fs::path& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

// A setup INI that passes the checks the build makes first: every text in
// [EN] and [FR].
const std::string kIni =
    "[Settings]\r\nProgName=Caf\xE9 Notes\r\nProgVersion=2.7\r\nProgFile=Notes\r\nProgDir=CafeNotes\r\n" +
    languageSection("EN") + languageSection("FR");

class BuildCommandTest : public ::testing::Test {
protected:
    // A fresh folder each time; the one before goes with everything in it.
    void SetUp() override {
        scratch_ = std::make_unique<ScratchFolder>("setup-pack-build");
        root_ = scratch_->path();
        ASSERT_FALSE(root_.empty()) << "no scratch folder";
        std::vector<uint8_t> stub = TestPe().build();
        writeText(root_ / "stub.exe", std::string(stub.begin(), stub.end()));
        writeText(root_ / "setup.ini", kIni);
        makeTree(root_ / "payload");
        ProgramShape program;
        program.version = 0x00020007;
        writeText(root_ / "payload/Program/Notes.exe", craftProgram(program));
        setWriteTime(root_ / "payload/Program/Notes.exe", 1500000000);
    }

    void TearDown() override { scratch_.reset(); }

    // Forty files of differing sizes, so that several threads share the work.
    static void makeTree(const fs::path& tree) {
        for (int i = 0; i < 40; ++i) {
            std::string contents;
            for (int k = 0; k < 200 * i; ++k) contents += static_cast<char>('a' + (k * i) % 26);
            fs::path file = tree / (i % 2 ? "Program" : "Documents") / ("f" + std::to_string(i) + ".txt");
            writeText(file, contents);
            setWriteTime(file, 1500000000 + i);
        }
    }

    ToolRun run(const std::vector<std::string>& args) { return runSetupPack(args, root_); }

    ToolRun build(const fs::path& payload, const fs::path& output, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"build", "--ini", (root_ / "setup.ini").string(), "--payload", payload.string(),
                                      "--stub", (root_ / "stub.exe").string(), "--output", output.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }

    std::unique_ptr<ScratchFolder> scratch_;
    fs::path root_;
};

std::u16string utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

bool holdsText(const std::vector<uint8_t>& bytes, const std::u16string& text) {
    std::vector<uint8_t> pattern;
    for (char16_t c : text) {
        pattern.push_back(static_cast<uint8_t>(c));
        pattern.push_back(static_cast<uint8_t>(c >> 8));
    }
    return std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end()) != bytes.end();
}

TEST_F(BuildCommandTest, TheInstallerReadsBack) {
    // An icon file with one image: a bitmap header of 16 x 32 pixels (the
    // image and its mask), one plane, 32 bits per pixel.
    std::string ico("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x28\0\0\0\x16\0\0\0", 22);
    ico += std::string("\x28\0\0\0\x10\0\0\0\x20\0\0\0\1\0\x20\0", 16) + std::string(24, '\0');
    writeText(root_ / "app.ico", ico);
    ToolRun built = build(root_ / "payload", root_ / "setup.exe", {"--company", "\xC3\x8Bxample Ltd", "--icon", (root_ / "app.ico").string()});
    ASSERT_EQ(0, built.exitCode) << built.err;

    PeImage image;
    std::string error;
    ASSERT_TRUE(image.load((root_ / "setup.exe").string(), error)) << error;
    const ResourceLeaf* ini = image.find(ResourceName::number(10), ResourceName::number(130));
    ASSERT_NE(nullptr, ini);
    EXPECT_EQ(std::string(kIni), std::string(ini->data->begin(), ini->data->end()));
    const ResourceLeaf* version = image.find(ResourceName::number(16), ResourceName::number(1));
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(kLanguageNeutral, version->language);
    FixedVersion fixed;
    ASSERT_TRUE(readFixedVersion(version->data->data(), version->data->size(), fixed));
    EXPECT_EQ(0x0002000700000000u, fixed.productVersion);
    EXPECT_TRUE(holdsText(*version->data, u"Caf\u00E9 Notes"));        // ProductName, from Windows-1252
    EXPECT_TRUE(holdsText(*version->data, u"\u00CBxample Ltd"));       // CompanyName, from UTF-8
    EXPECT_TRUE(holdsText(*version->data, utf16("2.7")));
    const ResourceLeaf* group = image.find(ResourceName::number(14), ResourceName::number(131));
    ASSERT_NE(nullptr, group);

    for (const char* command : {"list", "verify"}) {
        ToolRun read = run({command, (root_ / "setup.exe").string()});
        EXPECT_EQ(0, read.exitCode) << command << ": " << read.err;
        EXPECT_EQ(0u, read.out.find("ProgName: Caf\xC3\xA9 Notes\nProgVersion: 2.7\nProgDir: CafeNotes\nLanguages: EN FR\n"))
            << read.out;
    }
    ToolRun listed = run({"list", (root_ / "setup.exe").string()});
    EXPECT_NE(std::string::npos, listed.out.find("Program\\f39.txt\t")) << listed.out;

    // Signed afterwards: a certificate table after the last section.
    std::string bytes = readText(root_ / "setup.exe");
    std::vector<uint8_t> signedFile(bytes.begin(), bytes.end());
    TestPe::put32(signedFile, TestPe().directoriesOffset() + 8 * 4, static_cast<uint32_t>(signedFile.size()));
    TestPe::put32(signedFile, TestPe().directoriesOffset() + 8 * 4 + 4, 256);
    signedFile.resize(signedFile.size() + 256, 0x30);
    // Signing tools write the checksum of the signed file.
    const size_t checksumAt = TestPe().optionalOffset() + 64;
    TestPe::put32(signedFile, checksumAt, 0);
    PeChecksum sum;
    sum.update(signedFile.data(), signedFile.size());
    TestPe::put32(signedFile, checksumAt, sum.finish());
    writeText(root_ / "signed.exe", std::string(signedFile.begin(), signedFile.end()));
    ToolRun verified = run({"verify", (root_ / "signed.exe").string()});
    EXPECT_EQ(0, verified.exitCode) << verified.err;
    // 42 payload entries, the program Notes.exe and the uninstall manifest
    // with its copy kept for this version.
    EXPECT_NE(std::string::npos, verified.out.find("verified: 45 entries intact")) << verified.out;
    ToolRun stub = run({"list", (root_ / "stub.exe").string()});
    EXPECT_EQ(1, stub.exitCode);
    EXPECT_NE(std::string::npos, stub.err.find("no resource 129")) << stub.err;
}

// A UTF-8 setup INI: the installer gets each language in its code page, the
// uninstaller its texts and code page too; an ASCII INI without the shipped
// texts gives the installer the same texts as before.
TEST_F(BuildCommandTest, AUtf8IniIsEmbeddedInTheInstallersForm) {
    auto embedded = [&](const fs::path& exe, ByteVector* manifest) {
        PeImage image;
        std::string error;
        EXPECT_TRUE(image.load(exe.string(), error)) << error;
        const ResourceLeaf* ini = image.find(ResourceName::number(10), ResourceName::number(130));
        if (manifest) {
            ToolRun listed = run({"list", exe.string()});
            *manifest = ByteVector(listed.out.begin(), listed.out.end());
        }
        return ini ? std::string(ini->data->begin(), ini->data->end()) : std::string();
    };
    std::string utf8 = "\xEF\xBB\xBF[Settings]\nProgName=Notes\nProgVersion=2.7\nProgFile=Notes\nProgDir=Notes\n" +
                       languageSection("EN") + "[RU]\nInstallYes=&\xD0\x94\xD0\xB0\n";
    writeText(root_ / "setup.ini", utf8);
    ToolRun built = build(root_ / "payload", root_ / "ru.exe", {"--translations", "none"});
    ASSERT_EQ(0, built.exitCode) << built.err;
    std::string ini = embedded(root_ / "ru.exe", nullptr);
    EXPECT_NE(std::string::npos, ini.find("\r\n[RU]\r\nCodePage=1251\r\nInstallYes=&\xC4\xE0\r\n")) << ini;
    EXPECT_NE(0, ini.compare(0, 3, "\xEF\xBB\xBF"));

    // The shipped texts by default: a language the INI lacks is added.
    ASSERT_EQ(0, build(root_ / "payload", root_ / "all.exe").exitCode);
    EXPECT_NE(std::string::npos, embedded(root_ / "all.exe", nullptr).find("\r\n[JP]\r\nCodePage=932\r\n"));

    // An ASCII INI as before: the same texts, lines ended with CR LF.
    std::string ascii = kIni;
    ascii.replace(ascii.find("Caf\xE9"), 4, "Cafe");
    std::string lf = ascii;
    for (size_t p = lf.find("\r\n"); p != std::string::npos; p = lf.find("\r\n", p)) lf.erase(p, 1);
    writeText(root_ / "setup.ini", lf);
    ASSERT_EQ(0, build(root_ / "payload", root_ / "ascii.exe", {"--translations=none"}).exitCode);
    EXPECT_EQ(ascii, embedded(root_ / "ascii.exe", nullptr));

    // A Chinese section needs its code page chosen.
    writeText(root_ / "setup.ini", utf8 + "[CH]\nInstallYes=\xE6\x98\xAF\n");
    ToolRun refused = build(root_ / "payload", root_ / "ch.exe", {"--translations", "none"});
    EXPECT_EQ(1, refused.exitCode);
    EXPECT_NE(std::string::npos, refused.err.find("setup.ini:" + std::to_string(27) + ": error: [CH]"))
        << refused.err;
    EXPECT_FALSE(fs::exists(root_ / "ch.exe"));
    ToolRun chosen = build(root_ / "payload", root_ / "ch.exe", {"--translations", "none", "--code-page", "CH=950"});
    ASSERT_EQ(0, chosen.exitCode) << chosen.err;
    EXPECT_NE(std::string::npos, embedded(root_ / "ch.exe", nullptr).find("[CH]\r\nCodePage=950\r\n"));
    EXPECT_EQ(2, run({"build", "--ini", (root_ / "setup.ini").string(), "--payload", (root_ / "payload").string(),
                      "--output", (root_ / "x.exe").string(), "--code-page", "CH=1252"}).exitCode);
}

// The same contents give the same bytes however they were copied, read or
// compressed.
TEST_F(BuildCommandTest, TheSameInputsGiveTheSameBytes) {
    struct Case {
        const char* what;
        const char* epoch;
        std::function<void(const fs::path& from, const fs::path& to)> prepare;
        bool copies;
        std::vector<std::string> options;
    };
    auto copyTree = [](const fs::path& from, const fs::path& to) {
        fs::copy(from, to, fs::copy_options::recursive);
    };
    auto copyWithTimes = [&](const fs::path& from, const fs::path& to) {
        copyTree(from, to);
        for (auto& e : fs::recursive_directory_iterator(from)) {
            struct stat st;
            ASSERT_EQ(0, stat(e.path().c_str(), &st));
            struct timespec times[2] = {{0, 0}, st.st_mtim};  // access time of the epoch: it must not matter
            ASSERT_EQ(0, utimensat(AT_FDCWD, (to / fs::relative(e.path(), from)).c_str(), times, 0));
        }
    };
    auto readEverything = [](const fs::path& from, const fs::path&) {
        for (auto& e : fs::recursive_directory_iterator(from)) {
            if (e.is_regular_file()) readText(e.path());
        }
    };
    const Case cases[] = {
        {"copied with new times, epoch set", "1400000000", copyTree, true, {}},
        {"copied keeping the write times", nullptr, copyWithTimes, true, {}},
        {"read in between", "1400000000", readEverything, false, {}},
        {"one thread against three", nullptr, nullptr, false, {"--jobs", "3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EpochSetting epoch(c.epoch);
        fs::path copy = c.copies ? root_ / "copy" : root_ / "payload";
        ToolRun first = build(root_ / "payload", root_ / "first.exe", {"--jobs", "1"});
        ASSERT_EQ(0, first.exitCode) << first.err;
        if (c.copies) fs::remove_all(copy);
        if (c.prepare) c.prepare(root_ / "payload", copy);
        ToolRun second = build(copy, root_ / "second.exe", c.options);
        ASSERT_EQ(0, second.exitCode) << second.err;
        EXPECT_EQ(readText(root_ / "first.exe"), readText(root_ / "second.exe"));
    }
}

// An unchanged build leaves setup.exe alone; any change to a payload file,
// even only to an older time, writes it anew.
TEST_F(BuildCommandTest, WritesOnlyWhenTheBytesChange) {
    fs::path output = root_ / "setup.exe";
    ASSERT_EQ(0, build(root_ / "payload", output).exitCode);
    setWriteTime(output, 1000000000);
    ToolRun again = build(root_ / "payload", output);
    EXPECT_NE(std::string::npos, again.out.find("unchanged")) << again.out;
    struct stat st;
    ASSERT_EQ(0, stat(output.c_str(), &st));
    EXPECT_EQ(1000000000, st.st_mtim.tv_sec);

    const struct {
        const char* what;
        std::function<void(const fs::path&)> change;
    } changes[] = {
        {"older time", [](const fs::path& tree) { setWriteTime(tree / "Program/f1.txt", 1000); }},
        {"renamed", [](const fs::path& tree) { fs::rename(tree / "Program/f3.txt", tree / "Program/g3.txt"); }},
        {"removed", [](const fs::path& tree) { fs::remove(tree / "Documents/f2.txt"); }},
        {"same size, other bytes", [](const fs::path& tree) {
             std::string text = readText(tree / "Program/f5.txt");
             text[0] = 'Z';
             writeText(tree / "Program/f5.txt", text);
             setWriteTime(tree / "Program/f5.txt", 1500000005);
         }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        std::string before = readText(output);
        c.change(root_ / "payload");
        ToolRun rebuilt = build(root_ / "payload", output);
        ASSERT_EQ(0, rebuilt.exitCode) << rebuilt.err;
        EXPECT_NE(std::string::npos, rebuilt.out.find("written")) << rebuilt.out;
        EXPECT_NE(before, readText(output));
    }
}

// verify holds any program to the loader's rules, with or without a payload.
TEST_F(BuildCommandTest, VerifyHoldsProgramsToTheLoadersRules) {
    TestPe gap, admin;
    gap.bssGap = 0x1000;
    admin.executionLevel = "requireAdministrator";
    const struct {
        const char* what;
        TestPe pe;
        int exitCode;
        const char* out;
        const char* err;
    } cases[] = {
        {"sound", admin, 0, "follows the loader's rules; requestedExecutionLevel requireAdministrator\n", ""},
        {"with a hole", gap, 1, "", "error: section .bss starts at RVA 0x3000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = c.pe.build();
        writeText(root_ / "program.exe", std::string(bytes.begin(), bytes.end()));
        ToolRun verified = run({"verify", (root_ / "program.exe").string()});
        EXPECT_EQ(c.exitCode, verified.exitCode) << verified.err;
        EXPECT_NE(std::string::npos, verified.out.find(c.out)) << verified.out;
        EXPECT_NE(std::string::npos, verified.err.find(c.err)) << verified.err;
    }
}

// The fixed version is ProgVersion as the installer reads it; what the
// record cannot hold stops the build.
TEST_F(BuildCommandTest, VersionRecordAsTheInstallerReadsIt) {
    const struct {
        const char* version;
        std::string company;
        uint64_t fixed;     // 0: refused
        const char* message;
    } cases[] = {
        {"2.7b", "", 0x0002000700000000, ""},
        {"2.7.3.1", "Ltd", 0x0002000700030001, ""},
        {"2.70000", "", 0, ":3: error: ProgVersion \"2.70000\" has the part 70000"},
        {"2.7", std::string(40000, 'c'), 0, "--company: error: the version block would be"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        SetUp();
        std::string ini = kIni;
        ini.replace(ini.find("ProgVersion=2.7"), 15, std::string("ProgVersion=") + c.version);
        writeText(root_ / "setup.ini", ini);
        std::vector<std::string> extra;
        if (!c.company.empty()) extra = {"--company", c.company};
        ToolRun built = build(root_ / "payload", root_ / "setup.exe", extra);
        if (c.fixed == 0) {
            EXPECT_EQ(1, built.exitCode);
            EXPECT_NE(std::string::npos, built.err.find(c.message)) << built.err;
            EXPECT_FALSE(fs::exists(root_ / "setup.exe"));
            continue;
        }
        ASSERT_EQ(0, built.exitCode) << built.err;
        PeImage image;
        std::string error;
        ASSERT_TRUE(image.load((root_ / "setup.exe").string(), error)) << error;
        const ResourceLeaf* version = image.find(ResourceName::number(16), ResourceName::number(1));
        ASSERT_NE(nullptr, version);
        FixedVersion fixed;
        ASSERT_TRUE(readFixedVersion(version->data->data(), version->data->size(), fixed));
        EXPECT_EQ(c.fixed, fixed.fileVersion);
        EXPECT_EQ(c.fixed, fixed.productVersion);
    }
}

TEST_F(BuildCommandTest, RefusalsSayWhy) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& root)> prepare;
        const char* message;
    };
    auto stub = [](TestPe pe) {
        return [pe](const fs::path& root) {
            std::vector<uint8_t> bytes = pe.build();
            writeText(root / "stub.exe", std::string(bytes.begin(), bytes.end()));
        };
    };
    TestPe signedStub, console, huge, gap, noManifest;
    signedStub.certificateSize = 64;
    gap.bssGap = 0x1000;  // a section removed after linking leaves its addresses empty
    noManifest.executionLevel = "";
    console.subsystem = 3;
    huge.bssSize = 1800u << 20;  // the image passes the limit with any payload
    const Case cases[] = {
        {"no ProgName", [](const fs::path& root) { writeText(root / "setup.ini", "[Settings]\r\nProgVersion=1.0\r\n"); },
         "setup.ini:1: error: [Settings] has no ProgName"},
        {"empty ProgVersion", [](const fs::path& root) { writeText(root / "setup.ini", "[Settings]\r\nProgName=A\r\nProgVersion=\r\n"); },
         "setup.ini:3: error: ProgVersion is empty"},
        {"signed stub", stub(signedStub), "signed"},
        {"console stub", stub(console), "not a Windows GUI program"},
        {"too large for the address space", stub(huge), "more than its limit of 1800 MiB"},
        {"stub with a hole", stub(gap),
         "stub.exe: error: section .bss starts at RVA 0x3000, but the section before it, .text, ends at 0x2000: a gap "
         "of 0x1000 bytes that no section covers; the Windows loader refuses such an image (\"not a valid Win32 "
         "application\"); every installer built from this stub would have the same fault"},
        {"stub without a manifest", stub(noManifest), "stub.exe: error: the program has no manifest"},
        {"a file beside Program", [](const fs::path& root) { writeText(root / "payload/loose.txt", "x"); },
         "only the folders Program and Documents"},
        {"missing INI", [](const fs::path& root) { fs::remove(root / "setup.ini"); }, "setup.ini: error: cannot open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.prepare(root_);
        ToolRun built = build(root_ / "payload", root_ / "setup.exe");
        EXPECT_EQ(1, built.exitCode);
        EXPECT_NE(std::string::npos, built.err.find(c.message)) << built.err;
        EXPECT_FALSE(fs::exists(root_ / "setup.exe"));
    }
}

TEST(StubSearch, LooksBesideTheProgramThenInTheBuildTreeThenInShare) {
    std::vector<std::string> found = stubCandidates("/opt/x/bin/setup-pack");
    ASSERT_FALSE(found.empty());
    EXPECT_EQ("/opt/x/bin/setup-stub.exe", found.front());
    EXPECT_EQ("/opt/x/bin/../share/setup-pack/setup-stub.exe", found[found.size() - 2]);
    EXPECT_EQ("/usr/share/setup-pack/setup-stub.exe", found.back());
}

}  // namespace
