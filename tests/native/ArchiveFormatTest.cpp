#include "archive/ArchiveFormat.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "ArchiveWriter.h"

namespace {

struct Walk {
    ByteVector bytes;  // what was walked; the entries point into it
    std::vector<ArchiveEntry> entries;
    EntryWalker::Step last;
};

// Walks a copy that ends exactly at `length`, so that the sanitizer sees any
// read past the end.
Walk walk(const ByteVector& archive, size_t length, bool wide) {
    Walk result;
    result.bytes.assign(archive.begin(), archive.begin() + static_cast<long>(length));
    EntryWalker walker(result.bytes.data(), static_cast<uint32_t>(result.bytes.size()), wide);
    ArchiveEntry entry;
    while ((result.last = walker.next(entry)) == EntryWalker::Entry) {
        EXPECT_LE(entry.offset + kEntryHeaderSize + entry.nameLength + entry.packedSizeLow, length);
        result.entries.push_back(entry);
    }
    // Finished walks stay finished.
    EXPECT_EQ(result.last, walker.next(entry));
    return result;
}

Walk walk(const ByteVector& archive, bool wide) { return walk(archive, archive.size(), wide); }

std::string nameOf(const ArchiveEntry& entry) {
    return std::string(reinterpret_cast<const char*>(entry.name), entry.nameUnits);
}

ByteVector bytesOf(const std::string& text) { return ByteVector(text.begin(), text.end()); }

const char* stepName(EntryWalker::Step step) {
    return step == EntryWalker::Entry ? "Entry" : step == EntryWalker::End ? "End" : "Malformed";
}

// An archive with a folder, two files and an empty file, and the offsets at
// which its entries end (10 = no entry yet).
ArchiveWriter sampleWriter(bool wide) {
    ArchiveWriter writer(wide);
    writer.addDirectory("Program");
    writer.addFile("Program\\a.txt", "hello hello hello hello");
    writer.addFile("Program\\empty", "");
    writer.addFile(wide ? "Documents\\\xC3\xA9t\xC3\xA9.txt" : "Documents\\d.txt", "doc");
    return writer;
}

std::vector<size_t> entryEnds(ArchiveWriter& writer) {
    std::vector<size_t> ends{kArchiveHeaderSize};
    for (const ArchiveItem& item : writer.items()) {
        ends.push_back(ends.back() + (item.raw ? 0 : kEntryHeaderSize + item.name.size()) + item.packed.size());
    }
    return ends;
}

// --------------------------------------------------------------------------
// Acceptance tests

struct AcceptanceCase {
    const char* what;
    size_t size;                                   // bytes of the header kept
    std::vector<std::pair<size_t, uint8_t>> edits; // byte changes
    ArchiveCheck expected;
};

TEST(CheckArchive, HeaderTestsInOrder) {
    // Exactly ten bytes with checksum 0: the smallest acceptable archive.
    const ByteVector empty = {'Z', 'O', 'T', 1, 0, 0, 0, 0, 0, 0};
    const AcceptanceCase cases[] = {
        {"empty archive", 10, {}, ArchiveCheck::Accepted},
        {"nine bytes", 9, {}, ArchiveCheck::TooShort},
        {"no bytes", 0, {}, ArchiveCheck::TooShort},
        {"checksum 1 with no body", 10, {{6, 1}}, ArchiveCheck::BadChecksum},
        {"checksum high byte", 10, {{9, 0x80}}, ArchiveCheck::BadChecksum},
        {"magic byte 0", 10, {{0, 'z'}}, ArchiveCheck::BadMagic},
        {"magic byte 1", 10, {{1, 'o'}}, ArchiveCheck::BadMagic},
        {"magic byte 2", 10, {{2, 0}}, ArchiveCheck::BadMagic},
        {"version 2", 10, {{3, 2}}, ArchiveCheck::BadVersion},
        {"version 0", 10, {{3, 0}}, ArchiveCheck::BadVersion},
        {"reserved 1", 10, {{4, 1}}, ArchiveCheck::BadReserved},
        {"flags 0xFE", 10, {{5, 0xFE}}, ArchiveCheck::Accepted},
        {"flags 0xFF", 10, {{5, 0xFF}}, ArchiveCheck::Accepted},
        // The first failing test decides.
        {"magic and version", 10, {{0, 'X'}, {3, 9}}, ArchiveCheck::BadMagic},
        {"version and reserved", 10, {{3, 9}, {4, 9}}, ArchiveCheck::BadVersion},
        {"reserved and checksum", 10, {{4, 9}, {6, 9}}, ArchiveCheck::BadReserved},
        {"nine bytes, bad magic", 9, {{0, 'X'}}, ArchiveCheck::TooShort},
    };
    for (const AcceptanceCase& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVector bytes = empty;
        for (const auto& edit : c.edits) bytes[edit.first] = edit.second;
        bytes.resize(c.size);
        EXPECT_EQ(c.expected, checkArchive(bytes.data(), static_cast<uint32_t>(bytes.size())));
    }
}

TEST(CheckArchive, EmptyArchiveHasNoEntries) {
    const ByteVector empty = {'Z', 'O', 'T', 1, 0, 0, 0, 0, 0, 0};
    Walk result = walk(empty, false);
    EXPECT_TRUE(result.entries.empty());
    EXPECT_EQ(EntryWalker::End, result.last);
}

TEST(CheckArchive, EveryBodyByteIsCoveredAndTheFlagsByteIsNot) {
    for (bool wide : {false, true}) {
        ByteVector archive = sampleWriter(wide).build();
        ASSERT_EQ(ArchiveCheck::Accepted, checkArchive(archive.data(), static_cast<uint32_t>(archive.size())));
        for (size_t i = kArchiveHeaderSize; i < archive.size(); ++i) {
            for (uint8_t flip : {0x01, 0x80, 0xFF}) {
                ByteVector changed = archive;
                changed[i] ^= flip;
                ASSERT_EQ(ArchiveCheck::BadChecksum, checkArchive(changed.data(), static_cast<uint32_t>(changed.size())))
                    << "byte " << i << " xor " << int(flip);
            }
        }
        ByteVector flags = archive;
        flags[5] ^= 0xFE;
        EXPECT_EQ(ArchiveCheck::Accepted, checkArchive(flags.data(), static_cast<uint32_t>(flags.size())));
        EXPECT_EQ(wide, hasWideNames(flags.data()));
    }
}

// --------------------------------------------------------------------------
// Entry walk

TEST(EntryWalker, ReadsEveryField) {
    ArchiveWriter writer;
    EntryFields fields;
    fields.attributes = 0x21;
    fields.creationTime = 0x0102030405060708ull;
    fields.lastAccessTime = 0x1112131415161718ull;
    fields.lastWriteTime = 0x2122232425262728ull;
    fields.sizeLow = 5;
    ByteVector packed = packBytes("hello");
    writer.addPackedEntry(fields, bytesOf(std::string("Program\\x", 10)), packed);
    ByteVector archive = writer.build();

    Walk result = walk(archive, false);
    ASSERT_EQ(1u, result.entries.size());
    EXPECT_EQ(EntryWalker::End, result.last);
    const ArchiveEntry& e = result.entries[0];
    EXPECT_EQ(kArchiveHeaderSize, e.offset);
    EXPECT_EQ(0x21u, e.attributes);
    EXPECT_FALSE(e.isDirectory());
    EXPECT_EQ(0x05060708u, e.creationTime.low);
    EXPECT_EQ(0x01020304u, e.creationTime.high);
    EXPECT_EQ(0x15161718u, e.lastAccessTime.low);
    EXPECT_EQ(0x11121314u, e.lastAccessTime.high);
    EXPECT_EQ(0x25262728u, e.lastWriteTime.low);
    EXPECT_EQ(0x21222324u, e.lastWriteTime.high);
    EXPECT_EQ(5u, e.sizeLow);
    EXPECT_EQ(packed.size(), e.packedSizeLow);
    EXPECT_EQ(10u, e.nameLength);
    EXPECT_EQ("Program\\x", nameOf(e));
    EXPECT_EQ(0, memcmp(packed.data(), e.packedData, packed.size()));
}

// Cutting an archive anywhere never makes the walk read past the end: at an
// entry boundary the walk ends there, anywhere else it is Malformed, and in
// both cases after the entries that lie wholly before the cut.
TEST(EntryWalker, ArchiveCutAtEveryLength) {
    for (bool wide : {false, true}) {
        ArchiveWriter writer = sampleWriter(wide);
        ByteVector archive = writer.build();
        std::vector<size_t> ends = entryEnds(writer);
        ASSERT_EQ(archive.size(), ends.back());
        for (size_t length = 0; length <= archive.size(); ++length) {
            size_t whole = 0;
            bool boundary = length <= kArchiveHeaderSize;
            for (size_t k = 1; k < ends.size(); ++k) {
                if (ends[k] <= length) whole = k;
                if (ends[k] == length) boundary = true;
            }
            Walk result = walk(archive, length, wide);
            ASSERT_EQ(whole, result.entries.size()) << "wide " << wide << " length " << length;
            ASSERT_STREQ(stepName(boundary ? EntryWalker::End : EntryWalker::Malformed), stepName(result.last))
                << "wide " << wide << " length " << length;
        }
    }
}

// The name is read up to its terminator; nameLength alone places the data.
TEST(EntryWalker, EarlyTerminatorGivesTheShorterNameAndDataStaysAtNameLength) {
    struct Case {
        const char* what;
        bool wide;
        std::string field;
        uint32_t units;
    };
    const Case cases[] = {
        {"8-bit", false, std::string("Program\\a\0xyz\0", 14), 9},
        {"8-bit, all zero after", false, std::string("ab\0\0\0\0", 6), 2},
        {"wide", true, std::string("a\0b\0\0\0z\0\0\0", 10), 2},
        // Zero bytes that straddle two units are not a terminator.
        {"wide, zeros across units", true, std::string("A\0\0B\0\0", 6), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveWriter writer(c.wide);
        EntryFields fields;
        fields.sizeLow = 3;
        ByteVector packed = packBytes("abc");
        writer.addPackedEntry(fields, bytesOf(c.field), packed);
        writer.addDirectory("Program");
        ByteVector archive = writer.build();
        Walk result = walk(archive, c.wide);
        ASSERT_EQ(2u, result.entries.size());
        EXPECT_EQ(EntryWalker::End, result.last);
        const ArchiveEntry& e = result.entries[0];
        EXPECT_EQ(c.units, e.nameUnits);
        EXPECT_EQ(c.field.size(), e.nameLength);
        EXPECT_EQ(result.bytes.data() + kArchiveHeaderSize + kEntryHeaderSize + c.field.size(), e.packedData);
        EXPECT_EQ(0, memcmp(packed.data(), e.packedData, packed.size()));
        EXPECT_TRUE(result.entries[1].isDirectory());
    }
}

TEST(EntryWalker, MalformedEntries) {
    struct Case {
        const char* what;
        bool wide;
        std::string field;      // the name field as written
        uint16_t nameLength;    // as stored
        uint32_t packedSize;    // as stored; the archive holds 16 packed bytes
    };
    const Case cases[] = {
        {"no terminator", false, "abc", 3, 16},
        {"empty name field", false, "", 0, 16},
        {"terminator just past nameLength", false, std::string("abc\0", 4), 3, 16},
        {"wide, odd length", true, std::string("A\0\0", 3), 3, 16},
        {"wide, zeros only across units", true, std::string("A\0\0B", 4), 4, 16},
        {"wide, one zero byte", true, std::string("\0", 1), 1, 16},
        {"nameLength past the end", false, std::string("a\0", 2), 0xFFFF, 16},
        {"packed size one past the end", false, std::string("a\0", 2), 2, 17},
        {"packed size huge", false, std::string("a\0", 2), 2, 0xFFFFFFFFu},
        {"packed size that wraps the position", false, std::string("a\0", 2), 2, 0xFFFFFFC0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveWriter writer(c.wide);
        EntryFields fields;
        fields.nameLength = c.nameLength;
        fields.packedSizeLow = c.packedSize;
        writer.addRawEntry(fields, bytesOf(c.field), ByteVector(16, 0xAB));
        Walk result = walk(writer.build(), c.wide);
        EXPECT_TRUE(result.entries.empty());
        EXPECT_STREQ("Malformed", stepName(result.last));
    }
}

TEST(EntryWalker, PackedDataReachingExactlyTheEndIsAnEntry) {
    ArchiveWriter writer;
    EntryFields fields;
    writer.addPackedEntry(fields, bytesOf(std::string("a\0", 2)), ByteVector(16, 0xAB));
    Walk result = walk(writer.build(), false);
    EXPECT_EQ(1u, result.entries.size());
    EXPECT_EQ(EntryWalker::End, result.last);
}

// What follows the last entry: bytes that do not begin with "ZFAD" end the
// walk like the end of the archive; a cut entry header is Malformed.
TEST(EntryWalker, BytesAfterTheLastEntry) {
    struct Case {
        std::string tail;
        EntryWalker::Step expected;
    };
    const Case cases[] = {
        {"JUNK", EntryWalker::End},
        {"ZX", EntryWalker::End},
        {std::string("\0", 1), EntryWalker::End},
        {"ZFAX and more bytes after it, as many as a header", EntryWalker::End},
        {"Z", EntryWalker::Malformed},
        {"ZF", EntryWalker::Malformed},
        {"ZFA", EntryWalker::Malformed},
        {"ZFAD", EntryWalker::Malformed},
        {"ZFAD plus fewer than fifty bytes", EntryWalker::Malformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        ArchiveWriter writer;
        writer.addFile("Program\\a.txt", "a");
        writer.appendBytes(bytesOf(c.tail));
        // An entry after bytes that end the walk is never reached.
        if (c.expected == EntryWalker::End) writer.addFile("Program\\b.txt", "b");
        ByteVector archive = writer.build();
        EXPECT_EQ(ArchiveCheck::Accepted, checkArchive(archive.data(), static_cast<uint32_t>(archive.size())));
        Walk result = walk(archive, false);
        EXPECT_EQ(1u, result.entries.size());
        EXPECT_STREQ(stepName(c.expected), stepName(result.last));
    }
}

TEST(EntryWalker, HighSizeWordsAreIgnored) {
    ArchiveWriter writer;
    writer.addFile("Program\\a.txt", "some contents").fields.sizeHigh = 0xFFFFFFFFu;
    writer.addFile("Program\\b.txt", "more").fields.packedSizeHigh = 0x80000000u;
    writer.addDirectory("Program\\c");
    Walk result = walk(writer.build(), false);
    ASSERT_EQ(3u, result.entries.size());
    EXPECT_EQ(EntryWalker::End, result.last);
    EXPECT_EQ(13u, result.entries[0].sizeLow);
    EXPECT_EQ("Program\\b.txt", nameOf(result.entries[1]));
    EXPECT_EQ("Program\\c", nameOf(result.entries[2]));
}

TEST(EntryWalker, DirectoryPackedBytesAreSkipped) {
    ArchiveWriter writer;
    EntryFields fields;
    fields.attributes = kAttributeDirectory;
    writer.addPackedEntry(fields, bytesOf(std::string("Program\0", 8)), bytesOf("ZFAD inside a folder's data"));
    writer.addFile("Program\\a.txt", "a");
    Walk result = walk(writer.build(), false);
    ASSERT_EQ(2u, result.entries.size());
    EXPECT_TRUE(result.entries[0].isDirectory());
    EXPECT_EQ("Program\\a.txt", nameOf(result.entries[1]));
}

}  // namespace
