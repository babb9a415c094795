// The uninstall manifest: what setup-pack writes into the Program tree, and
// how the uninstaller reads its name list back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "ArchiveWriter.h"
#include "PackTree.h"
#include "ToolRun.h"
#include "UninstallManifest.h"
#include "archive/ArchiveFormat.h"
#include "uninstall/ManifestFiles.h"

namespace {

namespace fs = std::filesystem;

const std::string kIni =
    "; comment\r\n"
    "[Settings]\r\n"
    "ProgName=Sample Notes\r\n"
    "ProgVersion=1.2\r\n"
    "ProgFile=SampleNotes\r\n"
    "ProgDir=SampleNotes\r\n"
    "[FileType]\r\n"
    "Type=SampleNotes.Document\r\n"
    "Extension=.snote\r\n"
    "Open=\"\"%s\\SampleNotes.exe\" \"%%1\"\"\r\n"
    "[EN]\r\n"
    "ProgDesc=Write and keep your notes\r\n"
    "Uninstall=Uninstall %s\r\n"
    "UninstallConfirm=Remove %s?\r\n"
    "[FR]\r\n"
    "Uninstall=D\xE9sinstaller %s\r\n"
    "[Files]\r\n"
    "evil=..\\..\\Windows\r\n";

// The names of the manifest's list, in order.
std::vector<std::string> listedNames(const std::string& manifest) {
    std::vector<std::string> names;
    ManifestFiles files(manifest.data(), manifest.size());
    const char* name = nullptr;
    size_t length = 0;
    while (files.next(name, length)) names.emplace_back(name, length);
    return names;
}

TEST(UninstallManifestTest, KeepsTheNamingAndUninstallLinesAndListsTheTreeWithItself) {
    std::string manifest, error;
    const std::vector<std::string> entries{"Data\\", "Data\\x.dat", "SampleNotes.exe", "z.txt"};
    ASSERT_TRUE(buildUninstallManifest(kIni, entries, manifest, error)) << error;
    // Lines byte for byte (the accented FR text stays in its code page); the
    // INI's own [Files] section is not carried over.
    EXPECT_EQ("; What \"-u\" removes, written by setup-pack from the setup INI and the Program folder.\r\n"
              "[Settings]\r\nProgName=Sample Notes\r\nProgVersion=1.2\r\nProgFile=SampleNotes\r\nProgDir=SampleNotes\r\n"
              "[FileType]\r\nType=SampleNotes.Document\r\nExtension=.snote\r\n"
              "[EN]\r\nUninstall=Uninstall %s\r\nUninstallConfirm=Remove %s?\r\n"
              "[FR]\r\nUninstall=D\xE9sinstaller %s\r\n"
              "[Files]\r\nData\\\r\nData\\x.dat\r\nSampleNotes.exe\r\nsetup-uninstall.ini\r\nz.txt\r\n",
              manifest);
    EXPECT_EQ(std::vector<std::string>({"Data\\", "Data\\x.dat", "SampleNotes.exe", "setup-uninstall.ini", "z.txt"}),
              listedNames(manifest));

    // Lines that end with CR alone are lines to the profile reader too.
    std::string crOnly;
    for (char c : kIni) {
        if (c != '\n') crOnly += c;
    }
    std::string fromCrOnly;
    ASSERT_TRUE(buildUninstallManifest(crOnly, entries, fromCrOnly, error)) << error;
    EXPECT_EQ(manifest, fromCrOnly);
}

TEST(UninstallManifestTest, RefusesWhatWouldLeaveTheUninstallerBlind) {
    const struct {
        const char* what;
        std::string ini;
        std::vector<std::string> entries;
        const char* reason;
    } cases[] = {
        {"the tree has a file of the manifest's name", kIni, {"SETUP-uninstall.ini"}, "reserved"},
        {"no ProgDir", "[Settings]\r\nProgName=A\r\nProgFile=A\r\n", {"A.exe"}, "ProgDir"},
        {"ProgFile only in a comment", "[Settings]\r\nProgName=A\r\n;ProgFile=A\r\nProgDir=A\r\n", {}, "ProgFile"},
        {"empty ProgName", "[Settings]\r\nProgName=\r\nProgFile=A\r\nProgDir=A\r\n", {}, "ProgName"},
        // The uninstaller's list would end at it, as at a section line.
        {"a name starts with '['", kIni, {"SampleNotes.exe", "[old]\\", "[old]\\a.txt", "z.txt"}, "'['"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string manifest, error;
        EXPECT_FALSE(buildUninstallManifest(c.ini, c.entries, manifest, error));
        EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
    }
}

TEST(UninstallManifestTest, NameListEndsAtTheNextSectionAndSkipsBlankLines) {
    const struct {
        std::string text;
        bool found;
        std::vector<std::string> names;
    } cases[] = {
        {"[Settings]\r\nA=1\r\n", false, {}},
        {"[FILES]\r\na.exe\r\n\r\nb\\\r\n", true, {"a.exe", "b\\"}},
        {"[Files]\na\n[Other]\nb\n", true, {"a"}},
        {"[Files]", true, {}},
        {"[Files]\r\nlast-without-end", true, {"last-without-end"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.found, ManifestFiles(c.text.data(), c.text.size()).found());
        EXPECT_EQ(c.names, listedNames(c.text));
    }
}

TEST(UninstallManifestTest, OnlyNamesInsideTheInstallFolderAreSafe) {
    const struct {
        std::string name;
        bool safe;
    } cases[] = {
        {"SampleNotes.exe", true},
        {"Data\\", true},
        {"Data\\sub\\x.dat", true},
        {"Caf\xC3\xA9\\\xE8\xA1\xA8.txt", true},  // UTF-8 bytes are never separators
        {"..\\Windows", false},
        {"Data\\..\\..\\x", false},
        {". .\\x", false},  // the platform drops trailing dots and blanks
        {"\\Windows", false},
        {"C:\\Windows", false},
        {"x.exe:stream", false},
        {"a//b", false},
        {"a\\\\b", false},
        {"nul.txt", false},
        {"Data\\COM1", false},
        {"com10", true},
        {"CON .txt", false},  // a blank before the extension still opens the device
        {"Data\\conin$", false},
        {"CONOUT$.log", false},
        {"LPT\xC2\xB9", false},  // COM and LPT with a superscript digit are devices too
        {"com\xC2\xB3.txt", false},
        {"COM\xC2\xBC", true},
        {"CONIN", true},
        {"", false},
        {"\\", false},
        {std::string("a\0b", 3), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.safe, isSafeManifestName(c.name.data(), c.name.size()));
    }
}

// setup-pack create with the setup INI puts the manifest into the archive at
// its place in the archive's order, and the same inputs give the same bytes.
TEST(UninstallManifestTest, PackerAddsTheManifestToTheProgramTree) {
    ScratchFolder scratch("uninstall-manifest");
    const fs::path root = scratch.path();
    ASSERT_FALSE(root.empty()) << "no scratch folder";
    fs::create_directories(root / "payload/Program/Data");
    fs::create_directories(root / "payload/Documents");
    std::ofstream(root / "payload/Program/SampleNotes.exe") << "program";
    std::ofstream(root / "payload/Program/Data/x.dat") << "data";
    std::ofstream(root / "payload/Program/zz.txt") << "z";
    std::ofstream(root / "payload/Documents/Welcome.snote") << "doc";
    std::ofstream(root / "setup.ini", std::ios::binary) << kIni;

    std::string error;
    PackOptions options;
    options.setupIni = (root / "setup.ini").string();
    ASSERT_TRUE(packFolder((root / "payload").string(), (root / "a.zot").string(), options, error)) << error;
    ASSERT_TRUE(packFolder((root / "payload").string(), (root / "b.zot").string(), options, error)) << error;
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(readArchiveFile((root / "a.zot").string(), a, error));
    ASSERT_TRUE(readArchiveFile((root / "b.zot").string(), b, error));
    EXPECT_EQ(a, b);

    std::vector<std::string> names;
    std::string manifest;
    EntryWalker walker(a.data(), static_cast<uint32_t>(a.size()), false);
    ArchiveEntry e;
    while (walker.next(e) == EntryWalker::Entry) {
        names.push_back(entryNameText(e.name, e.nameUnits, false));
        if (names.back() != "Program\\setup-uninstall.ini") continue;
        manifest.resize(e.sizeLow);
        uLongf size = e.sizeLow;
        ASSERT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef*>(&manifest[0]), &size, e.packedData, e.packedSizeLow));
    }
    // The copy kept per version sits before the current manifest.
    ASSERT_EQ(9u, names.size());
    const std::string version = names[6].substr(names[6].find('\\') + 1);
    EXPECT_TRUE(isVersionManifestName(version.data(), version.size())) << version;
    EXPECT_EQ(std::vector<std::string>({"Documents", "Documents\\Welcome.snote", "Program", "Program\\Data",
                                        "Program\\Data\\x.dat", "Program\\SampleNotes.exe", "Program\\" + version,
                                        "Program\\setup-uninstall.ini", "Program\\zz.txt"}),
              names);
    EXPECT_EQ(std::vector<std::string>(
                  {"Data\\", "Data\\x.dat", "SampleNotes.exe", version, "setup-uninstall.ini", "zz.txt"}),
              listedNames(manifest));
    // Each file's size and stored time, which the installer gives it.
    std::vector<std::string> records;
    ManifestFiles lines(manifest.data(), manifest.size(), "records");
    const char* line = nullptr;
    size_t length = 0;
    while (lines.next(line, length)) {
        ManifestRecord record;
        ASSERT_TRUE(parseRecord(line, length, record)) << std::string(line, length);
        struct stat st;
        std::string name(record.name, record.length);
        std::string disk = name;
        std::replace(disk.begin(), disk.end(), '\\', '/');
        ASSERT_EQ(0, stat((root / "payload/Program" / disk).c_str(), &st)) << name;
        EXPECT_EQ(static_cast<uint64_t>(st.st_size), record.size) << name;
        EXPECT_EQ(fileTimeFromUnix(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec)), record.writeTime)
            << name;
        records.push_back(name);
    }
    EXPECT_EQ(std::vector<std::string>({"Data\\x.dat", "SampleNotes.exe", "zz.txt"}), records);
}

// Another version's tree gets another copy's name; the same tree the same.
TEST(UninstallManifestTest, EachVersionKeepsACopyOfItsOwnName) {
    const std::vector<ManifestEntry> older = {{"a.dll", 5, 100}, {"prog.exe", 7, 100}};
    const std::vector<ManifestEntry> newer = {{"prog.exe", 9, 200}};
    std::string manifest, first, again, other, error;
    ASSERT_TRUE(buildUninstallManifest(kIni, older, manifest, first, error)) << error;
    ASSERT_TRUE(buildUninstallManifest(kIni, older, manifest, again, error)) << error;
    ASSERT_TRUE(buildUninstallManifest(kIni, newer, manifest, other, error)) << error;
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_TRUE(isVersionManifestName(other.data(), other.size())) << other;
    // A tree that holds such a name itself is refused: it would pass for a
    // version's list.
    const std::vector<ManifestEntry> clash = {{first, 1, 1}};
    EXPECT_FALSE(buildUninstallManifest(kIni, clash, manifest, other, error));
    EXPECT_NE(std::string::npos, error.find("reserved")) << error;
}

TEST(UninstallManifestTest, RecordLinesAndVersionNamesAreReadStrictly) {
    const struct {
        std::string line;
        bool valid;
        uint64_t size, time;
        std::string name;
    } records[] = {
        {"12 133000000000000000 Data\\a b.txt", true, 12, 133000000000000000ull, "Data\\a b.txt"},
        {"0 0 x", true, 0, 0, "x"},
        {"18446744073709551615 1 x", true, 18446744073709551615ull, 1, "x"},
        {"18446744073709551616 1 x", false, 0, 0, ""},  // past 64 bits
        {"12 x", false, 0, 0, ""},
        {"12 34 ", false, 0, 0, ""},
        {"a.txt", false, 0, 0, ""},  // a names-only line
        {"-1 2 x", false, 0, 0, ""},
    };
    for (const auto& c : records) {
        SCOPED_TRACE(c.line);
        ManifestRecord record = {};
        ASSERT_EQ(c.valid, parseRecord(c.line.data(), c.line.size(), record));
        if (!c.valid) continue;
        EXPECT_EQ(c.size, record.size);
        EXPECT_EQ(c.time, record.writeTime);
        EXPECT_EQ(c.name, std::string(record.name, record.length));
    }
    const struct {
        std::string name;
        bool version;
    } names[] = {
        {"setup-uninstall.0123456789abcdef.ini", true},
        {"SETUP-UNINSTALL.0123456789ABCDEF.INI", true},
        {"setup-uninstall.ini", false},
        {"setup-uninstall.0123456789abcde.ini", false},
        {"setup-uninstall.0123456789abcdeg.ini", false},
        {"setup-uninstall.0123456789abcdef.ini.txt", false},
    };
    for (const auto& c : names) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.version, isVersionManifestName(c.name.data(), c.name.size()));
    }
}

// The packer refuses, with the reason, what would leave the uninstaller
// without its manifest; without a Program folder there is nothing to list.
TEST(UninstallManifestTest, PackerRefusalsNameTheCause) {
    ScratchFolder scratch("uninstall-manifest");
    const fs::path root = scratch.path();
    ASSERT_FALSE(root.empty()) << "no scratch folder";
    std::ofstream(root / "setup.ini", std::ios::binary) << kIni;
    const struct {
        const char* what;
        std::vector<std::string> files;
        std::string ini;
        const char* reason;  // empty: packed
    } cases[] = {
        {"the INI is missing", {"Program/a.exe"}, (root / "missing.ini").string(), "cannot read the setup INI"},
        {"the name is taken", {"Program/Setup-Uninstall.ini"}, (root / "setup.ini").string(), "reserved"},
        {"no Program folder", {"Documents/a.txt"}, (root / "setup.ini").string(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root / "payload");
        for (const std::string& file : c.files) {
            fs::create_directories((root / "payload" / file).parent_path());
            std::ofstream(root / "payload" / file) << "x";
        }
        std::string error;
        PackOptions options;
        options.setupIni = c.ini;
        bool packed = packFolder((root / "payload").string(), (root / "out.zot").string(), options, error);
        EXPECT_EQ(std::string(c.reason).empty(), packed);
        if (!packed) {
            EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
        }
    }
}

}  // namespace
