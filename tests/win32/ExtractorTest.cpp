// Extraction of crafted archives into a folder of the real file system,
// with the two failure messages answered from a watcher thread.
#include "archive/Extractor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AnswerProbe.h"
#include "ArchiveWriter.h"
#include "PrefixState.h"
#include "TestSupport.h"
#include "WindowWatcher.h"
#include "common/Format.h"
#include "common/InstallState.h"
#include "common/SafeNames.h"
#include "deploy/FileOps.h"
#include "ui/OwnerWindow.h"

namespace {

struct Message {
    std::string caption;
    std::string text;
    bool operator==(const Message& other) const { return caption == other.caption && text == other.text; }
};

void PrintTo(const Message& message, std::ostream* out) { *out << "[" << message.caption << "] " << message.text; }

ByteVector withByte(ByteVector bytes, size_t at, int value) {
    bytes.at(at) = static_cast<uint8_t>(value);
    return bytes;
}

// Extracts `archive` below a fresh folder's "staging\" and keeps what the
// extractor said.
class ExtractionTest : public ::testing::Test {
protected:
    ExtractionTest() : destination_(dir_ / "staging\\") {}

    int extract(const ByteVector& archive) {
        BackgroundWatcher watcher([](const WindowInfo&) { return Response::press(IDOK); });
        ArchiveExtractor extractor;
        int result = extractor.extract(nullptr, archive.data(), static_cast<uint32_t>(archive.size()),
                                       destination_.c_str());
        messages_.clear();
        for (const SeenWindow& seen : watcher.stop()) {
            messages_.push_back({seen.window.caption, seen.window.messageText});
        }
        return result;
    }
    std::string staged(const std::string& name) const { return destination_ + name; }

    TempDir dir_;
    std::string destination_;
    std::vector<Message> messages_;
};

TEST_F(ExtractionTest, EmptyArchiveCreatesTheDestinationOnly) {
    ArchiveWriter writer;
    EXPECT_EQ(1, extract(writer.build()));
    EXPECT_TRUE(isDirectoryPath(destination_));
    EXPECT_TRUE(listTree(destination_).empty());
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ExtractionTest, RejectedArchivesCreateNothingAndSayNothing) {
    ArchiveWriter good;
    good.addFile("Program\\a.txt", "a");
    const ByteVector valid = good.build();
    struct Case {
        const char* what;
        ByteVector archive;
    };
    std::vector<Case> cases;
    cases.push_back({"nine bytes", ByteVector(valid.begin(), valid.begin() + 9)});
    cases.push_back({"a flipped byte", withByte(valid, valid.size() - 3, valid[valid.size() - 3] ^ 0x01)});
    cases.push_back({"version 2", withByte(valid, 3, 2)});
    ArchiveWriter zeros;  // zero bytes before the first entry keep the checksum
    zeros.appendBytes(ByteVector(8, 0));
    zeros.addFile("Program\\a.txt", "a");
    cases.push_back({"zero bytes before the first entry", zeros.build()});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(0, extract(c.archive));
        EXPECT_TRUE(messages_.empty());
        EXPECT_TRUE(listTree(destination_).empty());
    }
}

TEST_F(ExtractionTest, WritesContentsTimesAndAttributesCreatingParents) {
    const FileTime64 written = fileTimeFromUnix(1700000000, 0);
    ArchiveWriter writer;
    writer.addFile("Program\\sub\\deep\\a.txt", "alpha", kAttributeArchive, written);  // no directory entries
    writer.addFile("Program\\readonly.txt", "fixed", kAttributeArchive | kAttributeReadOnly, written);
    writer.addDirectory("Documents\\Hidden", kAttributeDirectory | kAttributeHidden);
    std::string big(100000, 'x');
    for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
    writer.addFile("Program\\big.bin", big);  // several output buffers

    ASSERT_EQ(1, extract(writer.build()));
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ("alpha", readFile(staged("Program\\sub\\deep\\a.txt")));
    EXPECT_EQ(big, readFile(staged("Program\\big.bin")));
    EXPECT_EQ("fixed", readFile(staged("Program\\readonly.txt")));
    EXPECT_EQ("RA", attributeLetters(fileAttributes(staged("Program\\readonly.txt"))));
    EXPECT_EQ("DH", attributeLetters(fileAttributes(staged("Documents\\Hidden"))));
    auto times = readFileTimes(staged("Program\\sub\\deep\\a.txt"));
    ASSERT_TRUE(times.has_value());
    EXPECT_EQ(written, (static_cast<FileTime64>(times->lastWrite.dwHighDateTime) << 32) |
                           times->lastWrite.dwLowDateTime);
}

// The install step checks its paths from the longest names the extraction
// kept for each staged tree, without listing the trees again: each kind and
// tree on its own, in any case, starting afresh.
TEST_F(ExtractionTest, KeepsTheLongestNamesOfEachStagedTree) {
    const char* const stale = "left over from an earlier extraction";
    copyText(installState.stagedTrees[0].longestFile, kPathSize, stale);
    ArchiveWriter writer;
    writer.addFile("Program\\a.txt", "a");
    writer.addFile("program\\sub\\longer.txt", "b");
    writer.addFile("Program\\mid.txt", "c");
    writer.addDirectory("Program\\empty", kAttributeDirectory);
    writer.addDirectory("Program", kAttributeDirectory);
    writer.addFile("DOCUMENTS\\Welcome.snote", "d");
    writer.addFile("Other\\much-longer-than-any-other-name.txt", "e");
    writer.addFile("Programs\\also-longer-than-any-other-name.txt", "f");
    ASSERT_EQ(1, extract(writer.build()));

    const StagedTreeExtent& program = installState.stagedTrees[static_cast<int>(StagedTree::Program)];
    const StagedTreeExtent& documents = installState.stagedTrees[static_cast<int>(StagedTree::Documents)];
    EXPECT_STREQ("sub\\longer.txt", program.longestFile);
    EXPECT_STREQ("empty", program.longestFolder);
    EXPECT_STREQ("Welcome.snote", documents.longestFile);
    EXPECT_STREQ("", documents.longestFolder);
}

TEST_F(ExtractionTest, StreamsThatDoNotDecodeToTheirSizeFailWithExpandMessage) {
    struct Case {
        const char* what;
        int sizeChange;     // added to sizeLow
        size_t packedCut;   // bytes taken off the packed data
    };
    const Case cases[] = {{"one byte more than sizeLow", -1, 0}, {"one byte less", +1, 0}, {"cut short", 0, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveWriter writer;
        writer.addFile("Program\\first.txt", "first");
        ArchiveItem& item = writer.addFile("Program\\broken.txt", "0123456789");
        item.fields.sizeLow += c.sizeChange;
        item.packed.resize(item.packed.size() - c.packedCut);
        item.fields.packedSizeLow = static_cast<uint32_t>(item.packed.size());
        writer.addFile("Program\\after.txt", "after");

        EXPECT_EQ(0, extract(writer.build()));
        EXPECT_EQ(std::vector<Message>({{staged("Program\\broken.txt"), "Unable to expand into file."}}),
                  messages_);
        EXPECT_EQ("first", readFile(staged("Program\\first.txt")));
        EXPECT_TRUE(isExistingFile(staged("Program\\broken.txt").c_str())) << "left as far as it was written";
        EXPECT_FALSE(pathExists(staged("Program\\after.txt")));
        removeTree(destination_.c_str());
    }
}

TEST_F(ExtractionTest, StreamThatExpandsFarBeyondItsSizeStopsEarly) {
    ArchiveWriter writer;
    ArchiveItem& item = writer.addFile("Program\\bomb.bin", std::string(8 << 20, '\0'));
    item.fields.sizeLow = 10;
    EXPECT_EQ(0, extract(writer.build()));
    EXPECT_LE(readFile(staged("Program\\bomb.bin")).size(), 10u + 8192u);
}

TEST_F(ExtractionTest, NamesLeadingOutsideTheDestinationAreRefused) {
    const char* const names[] = {
        "..\\outside.txt", "Program\\..\\..\\outside.txt", "Program/../../outside.txt", "\\outside.txt",
        "C:\\outside.txt", "Program\\.. \\outside.txt", "Program\\file.txt:stream", "Program\\CON", "",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        ArchiveWriter writer;
        writer.addFile(name, "data");
        EXPECT_EQ(0, extract(writer.build()));
        EXPECT_EQ(std::vector<Message>({{name, "Unable to create file."}}), messages_);
        EXPECT_FALSE(pathExists(dir_ / "outside.txt"));
        EXPECT_FALSE(pathExists("C:\\outside.txt"));
        EXPECT_TRUE(listTree(destination_).empty());
    }
}

// A name longer than any path cannot be decoded whole: the message is
// captioned with its leading part, more than a path's length of it.
TEST_F(ExtractionTest, ANameLongerThanAnyPathIsNamedByItsLeadingPart) {
    std::string name = "Program\\";
    for (int i = 0; name.size() < 3000; ++i) name += "part" + std::to_string(i) + "-";
    for (bool wideNames : {false, true}) {
        SCOPED_TRACE(wideNames ? "wide names" : "8-bit names");
        ArchiveWriter writer(wideNames);
        writer.addFile(name, "data");
        EXPECT_EQ(0, extract(writer.build()));
        ASSERT_EQ(1u, messages_.size());
        EXPECT_EQ("Unable to create file.", messages_[0].text);
        const std::string& caption = messages_[0].caption;
        EXPECT_GT(caption.size(), 259u);
        EXPECT_EQ(name.substr(0, caption.size()), caption);
        EXPECT_TRUE(listTree(destination_).empty());
    }
}

struct FitCase {
    const char* what;
    size_t length;   // of the destination and the name together
    bool directory;  // a folder leaves room for its pattern "\*"
    bool fits;
};

// Every name is checked before anything is written: a path one byte too
// long, even behind a sound entry, writes nothing and is named with its
// length and the limit, and the path one byte shorter is extracted.
TEST_F(ExtractionTest, PathsThatDoNotFitAreRefusedBeforeAnythingIsWrittenAndNamed) {
    const FitCase cases[] = {
        {"file of 259 bytes", 259, false, true},
        {"file of 260 bytes", 260, false, false},
        {"folder of 257 bytes", 257, true, true},
        {"folder of 258 bytes", 258, true, false},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.what);
        removeFileTree(destination_);
        const std::string name = "Program\\" + std::string(c.length - destination_.size() - 8, 'n');
        ArchiveWriter writer;
        writer.addFile("Program\\first.txt", "first");
        if (c.directory) writer.addDirectory(name);
        else writer.addFile(name, "data");
        EXPECT_EQ(c.fits ? 1 : 0, extract(writer.build()));
        if (c.fits) {
            EXPECT_TRUE(messages_.empty());
            EXPECT_TRUE(c.directory ? isDirectoryPath(staged(name)) : readFile(staged(name)) == "data");
            continue;
        }
        const std::string text = "Unable to create file.\n\nThe path is " + std::to_string(c.length) +
                                 " characters long; the limit is " + (c.directory ? "257." : "259.");
        EXPECT_EQ(std::vector<Message>({{staged(name), text}}), messages_);
        EXPECT_FALSE(pathExists(destination_)) << "nothing was written, not even the sound entry";
    }
}

TEST_F(ExtractionTest, EntriesReachingPastTheEndFailSilentlyBeforeAnythingIsWritten) {
    ArchiveWriter writer;
    writer.addFile("Program\\first.txt", "first");
    ArchiveItem& item = writer.addFile("Program\\second.txt", "second");
    item.fields.packedSizeLow += 1000;
    EXPECT_EQ(0, extract(writer.build()));
    EXPECT_TRUE(messages_.empty());
    EXPECT_FALSE(pathExists(staged("Program\\first.txt")));
    EXPECT_FALSE(pathExists(staged("Program\\second.txt")));
}

// The names flag is the one header byte the checksum does not cover: with it
// flipped, the names are read in the other encoding. Whatever they become,
// nothing lands outside the staging folder and every name that was written
// passes the name checks.
TEST_F(ExtractionTest, NamesReadInTheOtherEncodingStayInsideTheStagingFolder) {
    for (bool wideNames : {false, true}) {
        SCOPED_TRACE(wideNames ? "wide names read as 8-bit" : "8-bit names read as wide");
        removeFileTree(destination_);
        ArchiveWriter writer(wideNames);
        writer.addDirectory("Program");
        writer.addFile("Program\\notes.exe", "program");
        writer.addFile("Documents\\..x\\readme.txt", "hello");
        writer.addFile("Program\\sub\\deep.txt", "deep");
        ByteVector flipped = writer.build();
        flipped[5] ^= 0x01;
        extract(flipped);
        std::vector<std::string> outside;
        for (const TreeEntry& entry : listTree(dir_.path())) {
            if (entry.path.rfind("staging", 0) != 0) outside.push_back(entry.path);
        }
        EXPECT_EQ(std::vector<std::string>(), outside);
        for (const TreeEntry& entry : listTree(destination_)) {
            EXPECT_TRUE(isSafeEntryName(entry.path.c_str())) << entry.path;
        }
    }
}

TEST_F(ExtractionTest, WideNamesGoThroughTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the Windows-1252 code page, not " << GetACP();
    ArchiveWriter writer(true);
    writer.addFile("Program\\caf\xC3\xA9.txt", "accent");  // e acute: in the code page
    EXPECT_EQ(1, extract(writer.build()));
    EXPECT_EQ("accent", readFile(staged("Program\\caf\xE9.txt")));

    ArchiveWriter lacking(true);
    lacking.addFile("Program\\\xE6\xBC\xA2.txt", "han");  // a character the code page lacks
    EXPECT_EQ(0, extract(lacking.build()));
    EXPECT_EQ(std::vector<Message>({{staged("Program\\?.txt"), "Unable to create file."}}), messages_);
}

TEST_F(ExtractionTest, BestFitLookalikesDoNotBecomeSeparators) {
    // Fullwidth full stops and reverse solidus map to "." and "\" in the code
    // page: the name is checked as the file system will see it.
    ArchiveWriter writer(true);
    writer.addFile("Program\\\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBCoutside.txt",
                   "data");
    EXPECT_EQ(0, extract(writer.build()));
    EXPECT_FALSE(pathExists(dir_ / "outside.txt"));
}

// The owner window keeps answering while the extraction works: between the
// buffers of a long file, and between files that each decode in one go.
// Bounds are loose (a shared, slow machine); a thread that stopped looking
// at its queue would answer once, at the end.
TEST_F(ExtractionTest, OwnerWindowKeepsAnsweringDuringALongExtraction) {
    struct Case {
        const char* what;
        int files;
        size_t fileSize;
    };
    const Case cases[] = {{"many small files", 600, 300}, {"one long file", 1, 24u << 20}};
    OwnerWindow owner;
    owner.create();
    ASSERT_NE(nullptr, owner.window);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveWriter writer;
        std::string contents(c.fileSize, 'x');
        for (size_t i = 0; i < contents.size(); i += 61) contents[i] = static_cast<char>('a' + i % 23);
        for (int i = 0; i < c.files; ++i) {
            writer.addFile("Program\\d" + std::to_string(i % 9) + "\\f" + std::to_string(i), contents);
        }
        const ByteVector archive = writer.build();

        DWORD started = GetTickCount();
        AnswerProbe probe([&owner] { return owner.window; });
        ArchiveExtractor extractor;
        int result = extractor.extract(owner.window, archive.data(), static_cast<uint32_t>(archive.size()),
                                       destination_.c_str());
        DWORD tookMs = GetTickCount() - started;
        probe.stop();
        ASSERT_EQ(1, result);
        EXPECT_GE(probe.answered(), 1 + tookMs / 250) << "answers during " << tookMs << " ms of extraction";
        EXPECT_LE(probe.longestWaitMs(), 2000u) << "extraction took " << tookMs << " ms";
        removeTree(destination_.c_str());
    }
}

}  // namespace
