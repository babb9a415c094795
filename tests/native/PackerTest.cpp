// setup-pack as the build runs it: create, verify and list on real folders.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "PackTree.h"
#include "ToolRun.h"
#include "archive/ArchiveFormat.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> result;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) result.push_back(field);
    return result;
}

class PackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = std::make_unique<ScratchFolder>("setup-pack-test");
        root_ = scratch_->path();
        ASSERT_FALSE(root_.empty()) << "no scratch folder";
        tree_ = root_ / "payload";
        archive_ = root_ / "payload.zot";
        fs::create_directory(tree_);
    }

    void TearDown() override { scratch_.reset(); }

    ToolRun pack(const std::vector<std::string>& args) { return runSetupPack(args, root_); }

    ToolRun create(const std::vector<std::string>& options = {}) {
        std::vector<std::string> args{"create"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(tree_.string());
        args.push_back(archive_.string());
        return pack(args);
    }

    std::unique_ptr<ScratchFolder> scratch_;
    fs::path root_, tree_, archive_;
};

void setTimes(const fs::path& path, time_t accessed, long accessedNs, time_t written, long writtenNs) {
    struct timespec times[2] = {{accessed, accessedNs}, {written, writtenNs}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

// Every file entry decodes to the bytes of the file it came from.
void expectContentsMatch(const fs::path& archive, const fs::path& tree) {
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(readArchiveFile(archive.string(), bytes, error)) << error;
    ASSERT_EQ(ArchiveCheck::Accepted, checkArchive(bytes.data(), static_cast<uint32_t>(bytes.size())));
    bool wide = hasWideNames(bytes.data());
    EntryWalker walker(bytes.data(), static_cast<uint32_t>(bytes.size()), wide);
    ArchiveEntry e;
    while (walker.next(e) == EntryWalker::Entry) {
        std::string name = entryNameText(e.name, e.nameUnits, wide);
        for (char& c : name) c = c == '\\' ? '/' : c;
        SCOPED_TRACE(name);
        if (e.isDirectory()) {
            EXPECT_TRUE(fs::is_directory(tree / name));
            continue;
        }
        std::string expected = readText(tree / name);
        std::string actual(e.sizeLow, '\0');
        uLongf size = e.sizeLow;
        ASSERT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef*>(&actual[0]), &size, e.packedData, e.packedSizeLow));
        EXPECT_EQ(expected, actual);
    }
}

TEST_F(PackerTest, CreateVerifyListRoundTrip) {
    fs::create_directories(tree_ / "Program/sub/deeper");
    fs::create_directories(tree_ / "Documents");
    std::string binary(50000, '\0');
    std::mt19937 random(7);
    for (char& c : binary) c = static_cast<char>(random() % 16);
    writeText(tree_ / "Program/app.exe", binary);
    writeText(tree_ / "Program/empty", "");
    writeText(tree_ / "Program/sub/deeper/x.txt", "deep");
    writeText(tree_ / "Documents/readme.txt", "read me");
    chmod((tree_ / "Documents/readme.txt").c_str(), 0444);
    setTimes(tree_ / "Program/sub/deeper/x.txt", 1000000000, 500000000, 1200000000, 250000000);

    ToolRun created = create();
    ASSERT_EQ(0, created.exitCode) << created.err;
    ToolRun verified = pack({"verify", archive_.string()});
    EXPECT_EQ(0, verified.exitCode) << verified.err;
    EXPECT_EQ("verified: 8 entries intact, 8-bit names", verified.out.substr(0, verified.out.find(", ", 30)));

    ToolRun listed = pack({"list", archive_.string()});
    ASSERT_EQ(0, listed.exitCode) << listed.err;
    std::vector<std::string> out = lines(listed.out);
    ASSERT_EQ(9u, out.size()) << listed.out;
    struct Expected {
        const char* name;
        const char* attributes;
        const char* size;
    };
    // Byte order, each folder before its contents.
    const Expected expected[] = {
        {"Documents", "0x00000010", "0"},
        {"Documents\\readme.txt", "0x00000021", "7"},
        {"Program", "0x00000010", "0"},
        {"Program\\app.exe", "0x00000020", "50000"},
        {"Program\\empty", "0x00000020", "0"},
        {"Program\\sub", "0x00000010", "0"},
        {"Program\\sub\\deeper", "0x00000010", "0"},
        {"Program\\sub\\deeper\\x.txt", "0x00000020", "4"},
    };
    for (size_t i = 0; i < 8; ++i) {
        std::vector<std::string> f = fields(out[i]);
        ASSERT_EQ(7u, f.size()) << out[i];
        EXPECT_EQ(expected[i].name, f[0]);
        EXPECT_EQ(expected[i].attributes, f[1]) << f[0];
        EXPECT_EQ(expected[i].size, f[2]) << f[0];
        if (f[1] == "0x00000010") {
            EXPECT_EQ("0", f[3]) << "folders carry no packed data";
        }
    }
    std::vector<std::string> x = fields(out[7]);
    // The last-write time stands for all three times: reading or copying the
    // tree changes the others.
    EXPECT_EQ("2008-01-10T21:20:00.2500000Z", x[4]);  // creation
    EXPECT_EQ("2008-01-10T21:20:00.2500000Z", x[5]);  // last access
    EXPECT_EQ("2008-01-10T21:20:00.2500000Z", x[6]);  // last write
    EXPECT_EQ("8 entries, 8-bit names", out[8]);
    expectContentsMatch(archive_, tree_);
}

TEST_F(PackerTest, SameTreeGivesTheSameArchive) {
    fs::create_directories(tree_ / "Program/b");
    writeText(tree_ / "Program/a.txt", std::string(10000, 'a'));
    writeText(tree_ / "Program/b/c.txt", "c");
    ASSERT_EQ(0, create().exitCode);
    std::string first = readText(archive_);
    ASSERT_EQ(0, pack({"list", archive_.string()}).exitCode);
    ASSERT_EQ(0, create().exitCode);
    EXPECT_EQ(first, readText(archive_));
}

TEST_F(PackerTest, EmptyFolderGivesTheEmptyArchive) {
    ASSERT_EQ(0, create().exitCode);
    EXPECT_EQ(std::string("ZOT\x01\0\0\0\0\0\0", 10), readText(archive_));
    EXPECT_EQ(0, pack({"verify", archive_.string()}).exitCode);
}

TEST_F(PackerTest, NonAsciiNamesMakeAWideArchive) {
    fs::create_directories(tree_ / "Program/\xE6\x97\xA5\xE6\x9C\xAC");
    writeText(tree_ / "Program/\xE6\x97\xA5\xE6\x9C\xAC/caf\xC3\xA9.txt", "x");
    writeText(tree_ / "Program/plain.txt", "y");
    ASSERT_EQ(0, create().exitCode);
    ToolRun listed = pack({"list", archive_.string()});
    ASSERT_EQ(0, listed.exitCode);
    std::vector<std::string> out = lines(listed.out);
    ASSERT_EQ(5u, out.size());
    EXPECT_EQ("Program\\plain.txt", fields(out[1])[0]);  // byte order: ASCII first
    EXPECT_EQ("Program\\\xE6\x97\xA5\xE6\x9C\xAC\\caf\xC3\xA9.txt", fields(out[3])[0]);
    EXPECT_EQ("4 entries, UTF-16LE names", out[4]);
    EXPECT_EQ(0, pack({"verify", archive_.string()}).exitCode);
    expectContentsMatch(archive_, tree_);

    ToolRun ansi = create({"--names=ansi"});
    EXPECT_EQ(1, ansi.exitCode);
    EXPECT_NE(std::string::npos, ansi.err.find("not ASCII")) << ansi.err;
}

TEST_F(PackerTest, NamesOptionForcesWideNames) {
    fs::create_directories(tree_ / "Documents");
    ASSERT_EQ(0, create({"--names=wide"}).exitCode);
    EXPECT_EQ("1 entries, UTF-16LE names", lines(pack({"list", archive_.string()}).out).back());
    ASSERT_EQ(0, create({"--names=ansi"}).exitCode);
    EXPECT_EQ("1 entries, 8-bit names", lines(pack({"list", archive_.string()}).out).back());
}

// A name of `units` units (terminator included) below Program: nested so that
// no component passes the file system's 255-byte limit.
void makeLongName(const fs::path& tree, size_t units, const std::string& unit) {
    size_t left = units - 1 - 7;  // terminator, "Program"
    fs::path path = tree / "Program";
    while (left > 0) {
        size_t component = std::min<size_t>(left - 1, 100);  // a separator, then the component
        std::string name;
        for (size_t i = 0; i < component; ++i) name += unit;
        path /= name;
        left -= component + 1;
    }
    fs::create_directories(path.parent_path());
    writeText(path, "x");
}

struct RefusalCase {
    const char* what;
    std::function<void(const fs::path& tree)> make;
    std::vector<std::string> options;
    int exitCode;
    const char* message;  // part of stderr; "" when it must succeed
};

TEST_F(PackerTest, RefusesWhatTheInstallerCannotExtract) {
    const auto file = [](const char* name, const char* text = "x") {
        return [=](const fs::path& tree) {
            fs::create_directories((tree / name).parent_path());
            writeText(tree / name, text);
        };
    };
    const RefusalCase cases[] = {
        {"other top-level folder", [](const fs::path& t) { fs::create_directories(t / "Extras"); }, {}, 1, "only the folders Program and Documents"},
        {"top-level file", file("readme.txt"), {}, 1, "only the folders Program and Documents"},
        {"Program as a file", file("Program"), {}, 1, "only the folders Program and Documents"},
        {"symbolic link", [](const fs::path& t) {
             fs::create_directories(t / "Program");
             fs::create_symlink("/etc/hostname", t / "Program/link");
         }, {}, 1, "symbolic links"},
        {"symbolic link as Program", [](const fs::path& t) { fs::create_directory_symlink("/tmp", t / "Program"); }, {}, 1, "only the folders"},
        {"named pipe", [](const fs::path& t) {
             fs::create_directories(t / "Program");
             mkfifo((t / "Program/pipe").c_str(), 0600);
         }, {}, 1, "not a regular file or folder"},
        {"name not UTF-8", file("Program/bad\xFF.txt"), {}, 1, "not valid UTF-8"},
        {"name not UTF-8, ansi", file("Program/bad\xFF.txt"), {"--names=ansi"}, 1, "not valid UTF-8"},
        {"colon", file("Program/a:b"), {}, 1, "':'"},
        {"backslash", file("Program/a\\b"), {}, 1, "'\\'"},
        {"trailing dot", file("Program/a."), {}, 1, "ends with a dot"},
        {"device name", file("Program/nul.txt"), {}, 1, "device name"},
        {"case collision", [](const fs::path& t) {
             fs::create_directories(t / "Documents");
             writeText(t / "Documents/Read.txt", "1");
             writeText(t / "Documents/read.TXT", "2");
         }, {}, 1, "differs only in case"},
        {"4 GiB file", [](const fs::path& t) {
             fs::create_directories(t / "Program");
             writeText(t / "Program/huge", "");
             fs::resize_file(t / "Program/huge", uint64_t(1) << 32);
         }, {}, 1, "4 GiB"},
        {"8-bit name of 259 bytes with terminator", [](const fs::path& t) { makeLongName(t, 259, "n"); }, {}, 0, ""},
        {"8-bit name of 260 bytes with terminator", [](const fs::path& t) { makeLongName(t, 260, "n"); }, {}, 1, "below 260"},
        {"wide name of 259 units", [](const fs::path& t) { makeLongName(t, 259, "\xC3\xA9"); }, {}, 0, ""},
        {"wide name of 260 units", [](const fs::path& t) { makeLongName(t, 260, "\xC3\xA9"); }, {}, 1, "260 UTF-16 units"},
        {"unknown option", [](const fs::path&) {}, {"--names=latin1"}, 2, "unknown option"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(tree_);
        fs::remove(archive_);
        fs::create_directory(tree_);
        c.make(tree_);
        ToolRun run = create(c.options);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
        if (c.exitCode != 0) {
            EXPECT_FALSE(fs::exists(archive_)) << "no archive after a refusal";
        } else {
            EXPECT_EQ(0, pack({"verify", archive_.string()}).exitCode);
        }
    }
}

TEST_F(PackerTest, RefusesMissingFoldersAndFiles) {
    ToolRun missing = pack({"create", (root_ / "none").string(), archive_.string()});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.err.find("cannot find the payload folder")) << missing.err;

    writeText(root_ / "file", "x");
    ToolRun notFolder = pack({"create", (root_ / "file").string(), archive_.string()});
    EXPECT_EQ(1, notFolder.exitCode);
    EXPECT_NE(std::string::npos, notFolder.err.find("must be a folder")) << notFolder.err;

    for (const char* command : {"list", "verify"}) {
        ToolRun run = pack({command, (root_ / "none.zot").string()});
        EXPECT_EQ(1, run.exitCode) << command;
        EXPECT_NE(std::string::npos, run.err.find("cannot open")) << run.err;
    }
    EXPECT_EQ(2, pack({}).exitCode);
    EXPECT_EQ(2, pack({"unpack", "x"}).exitCode);
    EXPECT_EQ(2, pack({"create", tree_.string()}).exitCode);
    ToolRun help = pack({"--help"});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("--names=auto|ansi|wide"));
}

TEST_F(PackerTest, RefusesUnreadableFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads files without read permission";
    fs::create_directories(tree_ / "Program");
    writeText(tree_ / "Program/secret", "x");
    chmod((tree_ / "Program/secret").c_str(), 0);
    ToolRun run = create();
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("cannot open")) << run.err;
}

TEST_F(PackerTest, ListAndVerifyRefuseADamagedArchive) {
    fs::create_directories(tree_ / "Program");
    writeText(tree_ / "Program/a.txt", "abc");
    ASSERT_EQ(0, create().exitCode);
    std::string bytes = readText(archive_);
    bytes[bytes.size() - 1] ^= 1;
    writeText(archive_, bytes);
    for (const char* command : {"list", "verify"}) {
        ToolRun run = pack({command, archive_.string()});
        EXPECT_EQ(1, run.exitCode) << command;
        EXPECT_NE(std::string::npos, run.err.find("checksum")) << run.err;
    }
}

// SOURCE_DATE_EPOCH: whole seconds since 1970, up to the last second of the
// year 9999; later times would overflow the stored file times.
TEST(SourceDateEpoch, ReadUpToTheEndOfTheYear9999) {
    const struct {
        const char* value;
        bool accepted;
    } cases[] = {
        {"1700000000", true},
        {"253402300799", true},            // 9999-12-31T23:59:59Z
        {"253402300800", false},           // 10000-01-01
        {"9223372036854775807", false},    // the largest 64-bit number
        {"12x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EpochSetting epoch(c.value);
        PackOptions options;
        std::string error;
        EXPECT_EQ(c.accepted, readSourceDateEpoch(options, error)) << error;
        EXPECT_EQ(c.accepted, options.clampTimes);
        if (!c.accepted) {
            EXPECT_NE(std::string::npos, error.find(c.value)) << error;
        }
    }
}

}  // namespace
