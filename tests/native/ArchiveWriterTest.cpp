// The archive writer, and the reading side of setup-pack (list and verify)
// on archives the writer crafts.
#include "ArchiveWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "ArchiveReport.h"
#include "ToolRun.h"
#include "archive/ArchiveFormat.h"

namespace {

ByteVector bytesOf(const std::string& text) { return ByteVector(text.begin(), text.end()); }

ByteVector unpack(const uint8_t* packed, uint32_t packedSize, uint32_t size) {
    ByteVector out(size + 1);
    uLongf outSize = static_cast<uLongf>(out.size());
    EXPECT_EQ(Z_OK, uncompress(out.data(), &outSize, packed, packedSize));
    out.resize(outSize);
    return out;
}

// Output of a report function on an in-memory stream.
struct Captured {
    int result;
    std::string out;
    std::string err;
};

Captured capture(int (*report)(const std::vector<uint8_t>&, FILE*, FILE*), const ByteVector& archive) {
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE* out = open_memstream(&outText, &outSize);
    FILE* err = open_memstream(&errText, &errSize);
    Captured c;
    c.result = report(archive, out, err);
    fclose(out);
    fclose(err);
    c.out.assign(outText, outSize);
    c.err.assign(errText, errSize);
    free(outText);
    free(errText);
    return c;
}

// --------------------------------------------------------------------------
// Names and times

TEST(EncodeEntryName, EightBitNamesAreTakenAsTheyAre) {
    ByteVector out;
    ASSERT_TRUE(encodeEntryName("Program\\a\xE9", false, out, nullptr));
    EXPECT_EQ(bytesOf(std::string("Program\\a\xE9\0", 11)), out);
}

TEST(EncodeEntryName, WideNamesAreUtf16FromStrictUtf8) {
    struct Case {
        const char* what;
        std::string utf8;
        bool valid;
        std::string utf16;  // with terminator
    };
    const Case cases[] = {
        {"ASCII", "ab", true, std::string("a\0b\0\0\0", 6)},
        {"two-byte", "\xC3\xA9", true, std::string("\xE9\0\0\0", 4)},
        {"three-byte", "\xE2\x82\xAC", true, std::string("\xAC\x20\0\0", 4)},
        {"surrogate pair", "\xF0\x9F\x98\x80", true, std::string("\x3D\xD8\x00\xDE\0\0", 6)},
        {"empty", "", true, std::string("\0\0", 2)},
        {"lone continuation", "a\x80", false, ""},
        {"overlong slash", "\xC0\xAF", false, ""},
        {"overlong three-byte", "\xE0\x80\xAF", false, ""},
        {"encoded surrogate", "\xED\xA0\x80", false, ""},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, ""},
        {"cut sequence", "\xE2\x82", false, ""},
        {"Latin-1 byte", "a\xE9", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVector out;
        std::string error;
        EXPECT_EQ(c.valid, encodeEntryName(c.utf8, true, out, &error));
        if (c.valid) {
            EXPECT_EQ(bytesOf(c.utf16), out);
        } else {
            EXPECT_NE(std::string::npos, error.find("UTF-8"));
        }
    }
}

TEST(FileTimes, UnixTimesConvertAndPrint) {
    struct Case {
        int64_t seconds;
        uint32_t nanoseconds;
        uint64_t fileTime;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, 116444736000000000ull, "1970-01-01T00:00:00.0000000Z"},
        {951827696, 123456000, 125963012961234560ull, "2000-02-29T12:34:56.1234560Z"},
        {4107542400, 0, 157520160000000000ull, "2100-03-01T00:00:00.0000000Z"},
        {-2177452801, 0, 94670207990000000ull, "1900-12-31T23:59:59.0000000Z"},
        {-11644473600, 99, 0, "1601-01-01T00:00:00.0000000Z"},
        {-11644473601, 0, 0, "1601-01-01T00:00:00.0000000Z"},  // before 1601: clamped
        {INT64_MAX, 0, 0x7FFFFFFFFFFFFFFFull, "30828-09-14T02:48:05.4775807Z"},  // past the platform's last time: held there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.fileTime, fileTimeFromUnix(c.seconds, c.nanoseconds));
        EXPECT_EQ(c.text, fileTimeText(c.fileTime));
    }
}

TEST(EntryNameText, ShowsNamesAsUtf8) {
    EXPECT_EQ("Program\\a.txt", entryNameText(reinterpret_cast<const uint8_t*>("Program\\a.txt"), 13, false));
    EXPECT_EQ("a\\xE9\\x01", entryNameText(reinterpret_cast<const uint8_t*>("a\xE9\x01"), 3, false));
    const uint8_t wide[] = {0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'x', 0};
    EXPECT_EQ("\xC3\xA9\xF0\x9F\x98\x80\\uD800x", entryNameText(wide, 5, true));
}

// --------------------------------------------------------------------------
// Writer

TEST(ArchiveWriter, HighLevelEntriesRoundTripThroughTheWalker) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "8-bit");
        ArchiveWriter writer(wide);
        std::string big(100000, 'x');
        for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>(i);
        writer.addDirectory("Program", kAttributeDirectory, 42);
        writer.addFile("Program\\big.bin", big, kAttributeArchive | kAttributeReadOnly, 43);
        writer.addFile("Program\\empty", "");
        ByteVector archive = writer.build();
        ASSERT_EQ(ArchiveCheck::Accepted, checkArchive(archive.data(), static_cast<uint32_t>(archive.size())));
        EXPECT_EQ(wide, hasWideNames(archive.data()));

        EntryWalker walker(archive.data(), static_cast<uint32_t>(archive.size()), wide);
        ArchiveEntry e;
        ASSERT_EQ(EntryWalker::Entry, walker.next(e));
        EXPECT_TRUE(e.isDirectory());
        EXPECT_EQ(42u, e.lastWriteTime.low);
        EXPECT_EQ(0u, e.packedSizeLow);
        EXPECT_EQ(7u, e.nameUnits);
        ASSERT_EQ(EntryWalker::Entry, walker.next(e));
        EXPECT_EQ(0x21u, e.attributes);
        EXPECT_EQ(43u, e.creationTime.low);
        EXPECT_EQ(43u, e.lastAccessTime.low);
        EXPECT_EQ(big.size(), e.sizeLow);
        EXPECT_EQ(bytesOf(big), unpack(e.packedData, e.packedSizeLow, e.sizeLow));
        ASSERT_EQ(EntryWalker::Entry, walker.next(e));
        EXPECT_EQ(0u, e.sizeLow);
        EXPECT_EQ(ByteVector(), unpack(e.packedData, e.packedSizeLow, 0));
        EXPECT_EQ(EntryWalker::End, walker.next(e));
    }
}

TEST(ArchiveWriter, HeaderFieldsAreWrittenAsTheyStand) {
    ArchiveWriter writer;
    writer.header.version = 7;
    writer.header.reserved = 3;
    writer.header.flags = 0xFE;
    writer.header.magic[2] = 'X';
    ByteVector archive = writer.build();
    EXPECT_EQ(bytesOf(std::string("ZOX\x07\x03\xFE\0\0\0\0", 10)), archive);

    ArchiveWriter wrong;
    wrong.addFile("Program\\a", "a");
    wrong.header.overrideChecksum = true;
    wrong.header.checksum = wrong.bodyChecksum() ^ 1;
    archive = wrong.build();
    EXPECT_EQ(ArchiveCheck::BadChecksum, checkArchive(archive.data(), static_cast<uint32_t>(archive.size())));
}

TEST(ArchiveWriter, InvalidWideNameThrows) {
    ArchiveWriter writer(true);
    EXPECT_THROW(writer.addFile("Program\\\xFF", "a"), std::invalid_argument);
    ArchiveWriter eightBit(false);
    EXPECT_NO_THROW(eightBit.addFile("Program\\\xFF", "a"));
}

TEST(ArchiveWriter, WriteFileWritesWhatBuildGives) {
    ArchiveWriter writer;
    writer.addFile("Program\\a.txt", "contents");
    ScratchFolder scratch("archive-writer");
    ASSERT_FALSE(scratch.path().empty()) << "no scratch folder";
    const std::string path = (scratch.path() / "a.zot").string();
    std::string error;
    ASSERT_TRUE(writer.writeFile(path, &error)) << error;
    std::vector<uint8_t> read;
    ASSERT_TRUE(readArchiveFile(path, read, error)) << error;
    EXPECT_EQ(writer.build(), read);
    EXPECT_FALSE(writer.writeFile("/nonexistent-folder/a.zot", &error));
    EXPECT_NE(std::string::npos, error.find("/nonexistent-folder/a.zot"));
}

// --------------------------------------------------------------------------
// list and verify

ArchiveWriter soundWriter() {
    ArchiveWriter writer;
    writer.addDirectory("Program", kAttributeDirectory, 116444736000000000ull);
    writer.addFile("Program\\a.txt", "hello", kAttributeArchive, 125963012961234560ull);
    return writer;
}

TEST(ListArchive, PrintsEveryEntryInWalkOrder) {
    Captured c = capture(listArchive, soundWriter().build());
    EXPECT_EQ(0, c.result);
    EXPECT_EQ(
        "Program\t0x00000010\t0\t0\t1970-01-01T00:00:00.0000000Z\t1970-01-01T00:00:00.0000000Z\t"
        "1970-01-01T00:00:00.0000000Z\n"
        "Program\\a.txt\t0x00000020\t5\t13\t2000-02-29T12:34:56.1234560Z\t2000-02-29T12:34:56.1234560Z\t"
        "2000-02-29T12:34:56.1234560Z\n"
        "2 entries, 8-bit names\n",
        c.out);
    EXPECT_EQ("", c.err);
}

TEST(ListArchive, RefusesWhatTheInstallerRefuses) {
    ArchiveWriter bad = soundWriter();
    bad.header.version = 2;
    Captured c = capture(listArchive, bad.build());
    EXPECT_EQ(1, c.result);
    EXPECT_NE(std::string::npos, c.err.find("version")) << c.err;

    ArchiveWriter cut = soundWriter();
    cut.items().back().fields.packedSizeLow += 1;
    c = capture(listArchive, cut.build());
    EXPECT_EQ(1, c.result);
    EXPECT_NE(std::string::npos, c.out.find("Program\t")) << "entries before the fault are listed";
    EXPECT_NE(std::string::npos, c.err.find("past the end")) << c.err;
}

TEST(VerifyArchive, SoundArchivePasses) {
    for (bool wide : {false, true}) {
        ArchiveWriter writer(wide);
        writer.addDirectory("Program");
        writer.addFile("Program\\a.txt", std::string(70000, 'a'));
        writer.addFile("Documents\\\xC3\xA9.txt", "");
        if (!wide) writer.items().back().name = bytesOf(std::string("Documents\\e.txt", 16));
        if (!wide) writer.items().back().fields.nameLength = 16;
        Captured c = capture(verifyArchive, writer.build());
        EXPECT_EQ(0, c.result) << c.err;
        EXPECT_EQ(std::string("verified: 3 entries intact, ") + (wide ? "UTF-16LE" : "8-bit"), c.out.substr(0, c.out.find(" names")));
    }
}

// Each recipe spoils a sound archive in one way; verify must say why.
TEST(VerifyArchive, NamesEachFault) {
    struct Case {
        const char* what;
        void (*spoil)(ArchiveWriter&);
        const char* reason;
    };
    const Case cases[] = {
        {"size one more than the stream", [](ArchiveWriter& w) { w.items().back().fields.sizeLow += 1; }, "decodes to 5 bytes"},
        {"size one less than the stream", [](ArchiveWriter& w) { w.items().back().fields.sizeLow -= 1; }, "more than its size"},
        {"stream cut short", [](ArchiveWriter& w) {
             ArchiveItem& item = w.items().back();
             item.packed.resize(item.packed.size() - 3);
             item.fields.packedSizeLow -= 3;
         }, "cut short"},
        {"not a zlib stream", [](ArchiveWriter& w) { w.items().back().packed[0] = 0x00; }, "not a valid zlib stream"},
        {"a window over 32 KiB", [](ArchiveWriter& w) {
             ByteVector& p = w.items().back().packed;
             p[0] = 0x88;  // CINFO 8: a 64 KiB window
             p[1] = static_cast<uint8_t>(p[1] & 0xE0);
             p[1] = static_cast<uint8_t>(p[1] + (31 - (p[0] * 256 + p[1]) % 31) % 31);
         }, "not a valid zlib stream"},
        {"bytes after the stream", [](ArchiveWriter& w) {
             ArchiveItem& item = w.items().back();
             item.packed.push_back(0);
             item.fields.packedSizeLow += 1;
         }, "1 bytes of packed data follow"},
        {"junk after the last entry", [](ArchiveWriter& w) { w.appendBytes(bytesOf("junk")); }, "4 bytes after the last entry"},
        // The checksum starts from 0, so zero bytes before the first entry
        // leave it unchanged: the installer accepts such an archive and finds
        // no entries. verify must not.
        {"zeros before the first entry", [](ArchiveWriter& w) {
             ArchiveItem zeros;
             zeros.raw = true;
             zeros.packed = ByteVector(3, 0);
             w.items().insert(w.items().begin(), zeros);
         }, "after the last entry"},
        {"entry past the end", [](ArchiveWriter& w) { w.items().back().fields.packedSizeLow += 1; }, "past the end"},
        {"wrong checksum", [](ArchiveWriter& w) { w.header.overrideChecksum = true; }, "checksum"},
        {"high size word", [](ArchiveWriter& w) { w.items().back().fields.sizeHigh = 1; }, "high size word"},
        {"early terminator", [](ArchiveWriter& w) {
             w.addPackedEntry(EntryFields{}, bytesOf(std::string("Program\\b\0x\0", 12)), packBytes(""));
         }, "2 bytes after the name's terminator"},
        {"parent component", [](ArchiveWriter& w) { w.addFile("Program\\..\\..\\evil", "x"); }, "\"..\" component"},
        {"forward-slash parent", [](ArchiveWriter& w) { w.addFile("Program/../x", "x"); }, "\"..\" component"},
        {"drive", [](ArchiveWriter& w) { w.addFile("C:\\evil", "x"); }, "':'"},
        {"leading backslash", [](ArchiveWriter& w) { w.addFile("\\evil", "x"); }, "empty path component"},
        {"trailing backslash", [](ArchiveWriter& w) { w.addDirectory("Program\\"); }, "empty path component"},
        {"empty name", [](ArchiveWriter& w) { w.addFile("", "x"); }, "name is empty"},
        {"duplicate name", [](ArchiveWriter& w) { w.addFile("PROGRAM\\A.TXT", "x"); }, "occurs twice"},
        {"folder with data", [](ArchiveWriter& w) { w.items().front().fields.sizeLow = 1; }, "folder entry carries"},
        {"name of 260 bytes", [](ArchiveWriter& w) { w.addFile("Program\\" + std::string(251, 'n'), "x"); }, "260-byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveWriter writer = soundWriter();
        c.spoil(writer);
        Captured v = capture(verifyArchive, writer.build());
        EXPECT_EQ(1, v.result);
        EXPECT_NE(std::string::npos, v.err.find(c.reason)) << v.err;
    }
}

TEST(VerifyArchive, NameLimitIsInUnitsForWideNames) {
    // 258 UTF-16 units and the terminator fit, though the UTF-8 form is longer.
    ArchiveWriter fits(true);
    fits.addFile("Program\\" + std::string(250, 'a'), "");
    fits.addFile("Documents\\" + [] { std::string s; for (int i = 0; i < 248; ++i) s += "\xC3\xA9"; return s; }(), "");
    EXPECT_EQ(0, capture(verifyArchive, fits.build()).result);

    ArchiveWriter tooLong(true);
    tooLong.addFile("Documents\\" + [] { std::string s; for (int i = 0; i < 249; ++i) s += "\xC3\xA9"; return s; }(), "");
    EXPECT_EQ(1, capture(verifyArchive, tooLong.build()).result);

    ArchiveWriter lone(true);
    lone.addPackedEntry(EntryFields{}, ByteVector{'a', 0, 0x00, 0xD8, 0, 0}, packBytes(""));
    Captured c = capture(verifyArchive, lone.build());
    EXPECT_EQ(1, c.result);
    EXPECT_NE(std::string::npos, c.err.find("well-formed UTF-16")) << c.err;
}

}  // namespace
