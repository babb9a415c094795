#include "archive/ArchiveFormat.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

uint32_t crcByByte(const uint8_t* bytes, size_t count) {
    ArchiveCrc crc;
    for (size_t i = 0; i < count; ++i) crc.update(bytes[i]);
    return crc.value();
}

uint32_t crcBulk(const uint8_t* bytes, size_t count) {
    ArchiveCrc crc;
    crc.update(bytes, count);
    return crc.value();
}

TEST(ArchiveCrc, TableHasTheMostSignificantBitFirstWords) {
    ArchiveCrc crc;
    EXPECT_EQ(kCrcPolynomial, ArchiveCrc::table.polynomial);
    EXPECT_EQ(0x00000000u, ArchiveCrc::table.words[0]);
    EXPECT_EQ(0x04C11DB7u, ArchiveCrc::table.words[1]);
    EXPECT_EQ(0x09823B6Eu, ArchiveCrc::table.words[2]);
    EXPECT_EQ(0xB1F740B4u, ArchiveCrc::table.words[255]);
}

TEST(ArchiveCrc, WorkedValues) {
    struct Case {
        std::string text;
        uint32_t expected;
    };
    const Case cases[] = {
        {"", 0x00000000u},
        {"abc", 0x2C17398Cu},
        {"123456789", 0x89A1897Fu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(c.text.data());
        EXPECT_EQ(c.expected, crcByByte(bytes, c.text.size()));
        EXPECT_EQ(c.expected, crcBulk(bytes, c.text.size()));
    }
}

TEST(ArchiveCrc, UpdateUsesOnlyTheLowByte) {
    ArchiveCrc a, b;
    a.update(0x161u);
    b.update(0x61u);
    EXPECT_EQ(b.value(), a.value());
}

TEST(ArchiveCrc, ResetStartsAgain) {
    ArchiveCrc crc;
    crc.update(reinterpret_cast<const uint8_t*>("xyz"), 3);
    crc.reset();
    crc.update(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(0x2C17398Cu, crc.value());
}

// The bulk update reads eight bytes per step: every length and start
// alignment, and any split of the input into pieces, must give the per-byte
// result.
TEST(ArchiveCrc, BulkUpdateMatchesPerByteForAnyLengthAlignmentAndSplit) {
    std::mt19937 random(1234);
    std::vector<uint8_t> buffer(4096 + 16);
    for (uint8_t& b : buffer) b = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length < 80; ++length) {
            SCOPED_TRACE("offset " + std::to_string(offset) + " length " + std::to_string(length));
            ASSERT_EQ(crcByByte(&buffer[offset], length), crcBulk(&buffer[offset], length));
        }
    }
    for (int round = 0; round < 200; ++round) {
        size_t offset = random() % 16;
        size_t length = random() % 4096;
        size_t split = length ? random() % length : 0;
        SCOPED_TRACE("round " + std::to_string(round));
        ArchiveCrc pieces;
        pieces.update(&buffer[offset], split);
        pieces.update(&buffer[offset + split], length - split);
        ASSERT_EQ(crcByByte(&buffer[offset], length), pieces.value());
    }
}

// The table is recomputed only for another polynomial, and a new ArchiveCrc
// always brings it back to the archive's polynomial.
TEST(ArchiveCrc, PrepareRecomputesForAnotherPolynomialOnly) {
    ArchiveCrc first;
    ArchiveCrc::table.prepare(0x1EDC6F41u);
    EXPECT_EQ(0x1EDC6F41u, ArchiveCrc::table.words[1]);
    const uint32_t marked = ArchiveCrc::table.words[7] ^ 1;
    ArchiveCrc::table.words[7] = marked;
    ArchiveCrc::table.prepare(0x1EDC6F41u);  // same polynomial: left alone
    EXPECT_EQ(marked, ArchiveCrc::table.words[7]);
    ArchiveCrc second;  // back to the archive's polynomial: all recomputed
    EXPECT_EQ(0x04C11DB7u, ArchiveCrc::table.words[1]);
    EXPECT_EQ(0x89A1897Fu, crcBulk(reinterpret_cast<const uint8_t*>("123456789"), 9));
    EXPECT_EQ(0x89A1897Fu, crcByByte(reinterpret_cast<const uint8_t*>("123456789"), 9));
}

}  // namespace
