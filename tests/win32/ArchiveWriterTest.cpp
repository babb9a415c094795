// The archive writer and the reading rules as the 32-bit Windows build has
// them: what the extraction tests build their archives with.
#include <gtest/gtest.h>

#include <string>

#include "ArchiveWriter.h"
#include "TestSupport.h"
#include "archive/ArchiveFormat.h"

namespace {

TEST(ArchiveWriterOnWindows, WrittenArchiveIsAcceptedAndWalked) {
    TempDir dir;
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "8-bit");
        ArchiveWriter writer(wide);
        writer.addDirectory("Program");
        writer.addFile("Program\\a.txt", std::string(100000, 'a'), kAttributeArchive | kAttributeReadOnly);
        writer.addFile(wide ? "Documents\\\xC3\xA9.txt" : "Documents\\e.txt", "");
        std::string path = dir / (wide ? "wide.zot" : "ansi.zot");
        std::string error;
        ASSERT_TRUE(writer.writeFile(path, &error)) << error;

        std::string bytes = readFile(path);
        ASSERT_EQ(writer.build(), ByteVector(bytes.begin(), bytes.end()));
        const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
        uint32_t size = static_cast<uint32_t>(bytes.size());
        ASSERT_EQ(ArchiveCheck::Accepted, checkArchive(data, size));
        EXPECT_EQ(wide, hasWideNames(data));

        EntryWalker walker(data, size, wide);
        ArchiveEntry entry;
        ASSERT_EQ(EntryWalker::Entry, walker.next(entry));
        EXPECT_TRUE(entry.isDirectory());
        ASSERT_EQ(EntryWalker::Entry, walker.next(entry));
        EXPECT_EQ(0x21u, entry.attributes);
        EXPECT_EQ(100000u, entry.sizeLow);
        ASSERT_EQ(EntryWalker::Entry, walker.next(entry));
        EXPECT_EQ(15u, entry.nameUnits);  // "Documents\\e.txt", either form
        EXPECT_EQ(EntryWalker::End, walker.next(entry));
    }
}

TEST(ArchiveCrcOnWindows, BulkUpdateMatchesWorkedValue) {
    ArchiveCrc crc;
    crc.update(reinterpret_cast<const uint8_t*>("123456789123456789"), 9);
    EXPECT_EQ(0x89A1897Fu, crc.value());
}

}  // namespace
