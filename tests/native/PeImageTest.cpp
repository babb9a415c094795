// The PE module: resources written and read back, headers and checksum
// consistent, files it must not rewrite refused, hostile files read safely.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ImageRules.h"
#include "InstallerResources.h"
#include "PeImage.h"
#include "TestPe.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::shared_ptr<const Bytes> shared(const Bytes& b) { return std::make_shared<const Bytes>(b); }
std::shared_ptr<const Bytes> text(const std::string& t) { return shared(Bytes(t.begin(), t.end())); }

ResourceName named(const char* t) {
    ResourceName n;
    n.isId = false;
    n.text = std::u16string(t, t + std::char_traits<char>::length(t));
    return n;
}
ResourceName id(uint16_t v) { return ResourceName::number(v); }

Bytes concatenate(const PeOutput& out) {
    Bytes all;
    for (const auto& piece : out.pieces) all.insert(all.end(), piece.first, piece.first + piece.second);
    return all;
}

// The checksum computed over a whole buffer, the field at `at` taken as 0.
uint32_t checksumOf(Bytes file, size_t at) {
    TestPe::put32(file, at, 0);
    uint64_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint32_t>(sum + file.size());
}

struct RoundTripCase {
    const char* what;
    std::vector<ResourceLeaf> leaves;
    bool pe32Plus;
};

TEST(PeImageTest, EveryResourceReadsBackAndTheHeadersAgree) {
    Bytes big(3 << 20);
    std::mt19937 random(11);
    for (uint8_t& byte : big) byte = static_cast<uint8_t>(random());
    const RoundTripCase cases[] = {
        {"nothing", {}, false},
        {"one numbered leaf", {{id(10), id(129), 0, 0, text("payload")}}, false},
        {"languages, names and types, out of order, odd sizes",
         {{id(10), id(130), 0x409, 1252, text("ini")},
          {id(10), id(130), 0, 0, text("neutral")},
          {named("CUSTOM"), named("Beta"), 7, 0, text("b")},
          {named("CUSTOM"), named("Alpha"), 7, 0, text("a")},
          {id(3), id(1), 0, 0, text(std::string(1001, 'i'))},
          {id(10), id(129), 0, 0, text("")}},
         false},
        {"a leaf larger than everything else", {{id(10), id(129), 0, 0, shared(big)}}, false},
        {"PE32+", {{id(16), id(1), 0, 0, text("version")}}, true},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestPe pe;
        pe.pe32Plus = c.pe32Plus;
        Bytes original = pe.build();
        PeImage image;
        std::string error;
        ASSERT_TRUE(image.parse(shared(original), error)) << error;
        for (const ResourceLeaf& leaf : c.leaves) image.setResource(leaf);
        PeOutput out;
        ASSERT_TRUE(image.layout(out, error)) << error;
        Bytes written = concatenate(out);
        ASSERT_EQ(out.fileSize, written.size());

        PeImage back;
        ASSERT_TRUE(back.parse(shared(written), error)) << error;
        ASSERT_EQ(c.leaves.size() + 1, back.resources().size()) << "the stub's manifest and the leaves";
        ImageReport rules;
        EXPECT_TRUE(checkImageRules(written.data(), written.size(), rules)) << rules.faults.front();
        for (const ResourceLeaf& leaf : c.leaves) {
            const ResourceLeaf* found = back.find(leaf.type, leaf.name, leaf.language);
            ASSERT_NE(nullptr, found);
            EXPECT_EQ(leaf.language, found->language);
            EXPECT_EQ(leaf.codePage, found->codePage);
            EXPECT_TRUE(*leaf.data == *found->data);
        }
        // Checksum, image size and the moved relocations.
        uint32_t opt = pe.optionalOffset();
        EXPECT_EQ(checksumOf(written, opt + 64), back.storedChecksum());
        uint32_t sectionCount = written[TestPe::kPeOffset + 6];
        size_t last = pe.sectionTable() + 40 * (sectionCount - 1);
        uint32_t relocVa = TestPe::get32(written, last + 12), relocRaw = TestPe::get32(written, last + 20);
        EXPECT_EQ(relocVa, TestPe::get32(written, pe.directoriesOffset() + 8 * 5));
        EXPECT_EQ(relocVa + 0x1000, back.sizeOfImage());
        EXPECT_EQ(written.size(), relocRaw + 0x200u) << "nothing after the last section";
        EXPECT_EQ(0x1000u, TestPe::get32(written, relocRaw)) << "relocation block kept";
        size_t rsrc = pe.sectionTable() + 80;
        uint32_t rsrcRaw = TestPe::get32(written, rsrc + 16);
        EXPECT_EQ(0u, rsrcRaw % 0x200);
        EXPECT_EQ(0x40000040u, TestPe::get32(written, rsrc + 36)) << "resources read-only";
        EXPECT_EQ(3 * 0x200 - 0x200 + rsrcRaw, TestPe::get32(written, opt + 8)) << "SizeOfInitializedData";
        EXPECT_EQ(TestPe::get32(written, rsrc + 8), TestPe::get32(written, pe.directoriesOffset() + 8 * 2 + 4));

        // Written again from what was read back: the same bytes.
        PeOutput again;
        ASSERT_TRUE(back.layout(again, error)) << error;
        EXPECT_TRUE(written == concatenate(again));
    }
}

TEST(PeImageTest, FilesThatCannotBeRewrittenSafelyAreRefused) {
    struct Case {
        const char* what;
        TestPe pe;
        const char* reason;
    };
    auto with = [](auto change) {
        TestPe pe;
        change(pe);
        return pe;
    };
    const Case cases[] = {
        {"signed", with([](TestPe& p) { p.certificateSize = 64; }), "signed"},
        {"appended data", with([](TestPe& p) { p.appended = 100; }), "appended data"},
        {"symbol table", with([](TestPe& p) { p.symbolTable = 0x400; }), "symbol table"},
        {"section after resources", with([](TestPe& p) { p.dataAfterResources = true; }), "cannot be moved"},
        {"alignment", with([](TestPe& p) { p.fileAlignment = 0x300; }), "power of two"},
        // The new resources would be written over the section table.
        {"empty resources inside the headers", with([](TestPe& p) { p.emptyResourcesInHeaders = true; }),
         "inside the headers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PeImage image;
        std::string error;
        ASSERT_TRUE(image.parse(shared(c.pe.build()), error)) << "reading is fine: " << error;
        PeOutput out;
        EXPECT_FALSE(image.layout(out, error));
        EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
    }
}

// A resource tree whose entries point outside it, at themselves or at
// nonsense must be refused or read without a single byte read out of bounds
// (the sanitizers watch every case).
TEST(PeImageTest, HostileFilesAreReadWithinTheirBounds) {
    TestPe pe;
    pe.executionLevel = "";  // the offsets below are those of the tree without a manifest
    PeImage good;
    std::string error;
    ASSERT_TRUE(good.parse(shared(pe.build()), error));
    // The payload is large enough that two copies of it pass the file's size.
    good.setResource({id(10), id(129), 0, 0, text(std::string(0x1000, 'p'))});
    good.setResource({named("N"), named("NAME"), 9, 0, text("x")});
    PeOutput out;
    ASSERT_TRUE(good.layout(out, error));
    const Bytes valid = concatenate(out);
    const uint32_t rsrcRaw = 0x600;

    struct Patch {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Patch patches[] = {
        {"PE header past the end", 0x3C, 0xFFFFFFF0},
        {"many sections", TestPe::kPeOffset + 6, 0xFFFF},
        {"optional header larger than the file", TestPe::kPeOffset + 20, 0xFFFF},
        {"resource directory outside every section", pe.directoriesOffset() + 16, 0x7FFFF000},
        {"huge entry counts", rsrcRaw + 12, 0xFFFFFFFF},
        {"type table points at itself", rsrcRaw + 16 + 4, 0x80000000},
        {"name string outside", rsrcRaw + 16, 0xFFFFFFF0},
        {"data entry outside", rsrcRaw + 16 + 8 + 4, 0x80FFFFF0},
        {"resource data outside the file", rsrcRaw + 0x80, 0xFFFFFF00},
        {"directory size cut to its first table", pe.directoriesOffset() + 20, 16},
        // NAME's language entry aimed at the payload's data entry: each leaf
        // would be a copy of the payload.
        {"two leaves share one large block", rsrcRaw + 0x64, 0x90},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.what);
        Bytes bytes = valid;
        TestPe::put32(bytes, p.at, p.value);
        PeImage image;
        EXPECT_FALSE(image.parse(shared(bytes), error));
    }
    // Every cut of the file, and random damage to its first two pages.
    for (size_t size = 0; size < valid.size(); size += 7) {
        PeImage image;
        image.parse(shared(Bytes(valid.begin(), valid.begin() + size)), error);
    }
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = valid;
        for (int k = 0; k < 4; ++k) {
            size_t at = random() % 2 ? random() % 0x400 : rsrcRaw + random() % 0x100;
            bytes[at] = static_cast<uint8_t>(random());
        }
        PeImage image;
        if (image.parse(shared(bytes), error)) {
            PeOutput o;
            image.layout(o, error);
        }
    }
}

TEST(PeImageTest, FactsOfExecutables) {
    Bytes versionBlock;
    std::string reason;
    ASSERT_TRUE(buildVersionBlock({u"P", u"2.5", u"P Setup", u""}, 0x0002000500010009, versionBlock, reason));
    struct Case {
        const char* what;
        Bytes file;
        bool ok;
        PeKind kind;
        uint16_t subsystem;
        bool hasVersion;
    };
    auto withVersion = [&](TestPe pe) {
        PeImage image;
        std::string error;
        image.parse(shared(pe.build()), error);
        image.setResource({id(16), id(1), 0x409, 0, shared(versionBlock)});
        PeOutput out;
        image.layout(out, error);
        return concatenate(out);
    };
    TestPe console;
    console.subsystem = 3;
    TestPe plus;
    plus.pe32Plus = true;
    Bytes noPe = TestPe().build();
    noPe[TestPe::kPeOffset] = 'X';
    Bytes badMagic = TestPe().build();
    TestPe::put16(badMagic, TestPe().optionalOffset(), 0x107);
    const Case cases[] = {
        {"text file", {'h', 'i'}, true, PeKind::NotPe, 0, false},
        {"MZ without PE", noPe, true, PeKind::NotPe, 0, false},
        {"unknown optional header", badMagic, false, PeKind::NotPe, 0, false},
        {"GUI with a version", withVersion(TestPe()), true, PeKind::Pe32, kSubsystemGui, true},
        {"console without", console.build(), true, PeKind::Pe32, kSubsystemConsole, false},
        {"PE32+ with a version", withVersion(plus), true, PeKind::Pe32Plus, kSubsystemGui, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PeFacts facts;
        facts.subsystem = 0xBDBD;
        std::string error;
        ASSERT_EQ(c.ok, readPeFacts(c.file.data(), c.file.size(), facts, error)) << error;
        if (!c.ok) continue;
        EXPECT_EQ(c.kind, facts.kind);
        EXPECT_EQ(c.subsystem, facts.subsystem);
        EXPECT_EQ(c.hasVersion, facts.hasVersion);
        if (c.hasVersion) {
            EXPECT_EQ(0x0002000500010009u, facts.version.fileVersion);
            EXPECT_EQ(0x0002000500010009u, facts.version.productVersion);
        }
    }
}

// The fixed version agrees with the installer's reading of ProgVersion
// (major and minor as its version gate reads them); a part the record
// cannot hold is refused, never written as 0.
TEST(PeImageTest, FixedVersionFromVersionTexts) {
    const struct {
        const char* text;
        bool ok;
        uint64_t numbers;
    } cases[] = {
        {"1.2", true, 0x0001000200000000},
        {"1.2.3.4", true, 0x0001000200030004},
        {"10", true, 0x000A000000000000},
        {"2.1b", true, 0x0002000100000000},    // the installer reads 2.1
        {"1.x", true, 0x0001000000000000},     // no digits read as 0, as the installer does
        {" 3.5", true, 0x0003000500000000},    // leading blanks skipped
        {"1.2.3b.4", true, 0x0001000200030004},
        {"", true, 0},
        {"1.2.3.4.5", true, 0x0001000200030004},
        {"65535.65535.65535.65535", true, 0xFFFFFFFFFFFFFFFF},
        {"1.70000", false, 0},
        {"1.2.3.65536", false, 0},
        {"-1.2", false, 0},
        {"99999999999.1", false, 0},           // held at the 32-bit limit by the installer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uint64_t numbers = 0xBDBDBDBD;
        std::string reason;
        EXPECT_EQ(c.ok, fixedVersionFromText(c.text, numbers, reason)) << reason;
        EXPECT_EQ(c.numbers, numbers);
        EXPECT_EQ(c.ok, reason.empty()) << reason;
    }
}

// A block whose lengths would not fit 16 bits is refused; the longest that
// fits is written whole.
TEST(PeImageTest, VersionBlockLengthsFitSixteenBits) {
    Bytes block;
    std::string reason;
    VersionTexts texts{u"P", u"1.0", u"P Setup", std::u16string(40000, u'c')};
    EXPECT_FALSE(buildVersionBlock(texts, 0, block, reason));
    EXPECT_NE(std::string::npos, reason.find("more than the 65535")) << reason;
    EXPECT_TRUE(block.empty());
    texts.companyName.resize(32000);
    ASSERT_TRUE(buildVersionBlock(texts, 0, block, reason)) << reason;
    EXPECT_EQ(block.size(), size_t(block[0] | block[1] << 8));
    FixedVersion fixed;
    EXPECT_TRUE(readFixedVersion(block.data(), block.size(), fixed));
}

TEST(PeImageTest, IconGroupReplacedWithTheImagesOfAnIconFile) {
    // An icon file with two images whose directory entries give 0 planes and
    // 0 bits: a bitmap of 8 bits per pixel (its 40-byte header) and a PNG
    // image of 8-bit RGBA (its signature and IHDR chunk).
    Bytes bitmap(40, 0), png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 0};
    TestPe::put32(bitmap, 0, 40);
    TestPe::put32(bitmap, 12, 0x00080001);  // one plane, 8 bits
    Bytes ico = {0, 0, 1, 0, 2, 0};
    auto entry = [&](uint8_t w, uint32_t size, uint32_t offset) {
        Bytes e = {w, w, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        TestPe::put32(e, 8, size);
        TestPe::put32(e, 12, offset);
        ico.insert(ico.end(), e.begin(), e.end());
    };
    entry(16, static_cast<uint32_t>(bitmap.size()), 38);
    entry(0, static_cast<uint32_t>(png.size()), 38 + static_cast<uint32_t>(bitmap.size()));
    ico.insert(ico.end(), bitmap.begin(), bitmap.end());
    ico.insert(ico.end(), png.begin(), png.end());

    PeImage image;
    std::string error;
    ASSERT_TRUE(image.parse(shared(TestPe().build()), error));
    // The stub's group 131 uses icon 1; another group 200 uses icon 2.
    Bytes group131 = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 1, 0, 0, 0, 1, 0};
    Bytes group200 = group131;
    group200[18] = 2;
    image.setResource({id(3), id(1), 0, 0, text("x")});
    image.setResource({id(3), id(2), 0, 0, text("y")});
    image.setResource({id(14), id(131), 0, 0, shared(group131)});
    image.setResource({id(14), id(200), 0, 0, shared(group200)});
    ASSERT_TRUE(replaceIconGroup(image, 131, ico, error)) << error;

    EXPECT_EQ(nullptr, image.find(id(3), id(1))) << "the old group's own icon goes";
    ASSERT_NE(nullptr, image.find(id(3), id(2))) << "an icon of another group stays";
    const ResourceLeaf* group = image.find(id(14), id(131));
    ASSERT_NE(nullptr, group);
    ASSERT_EQ(6u + 2 * 14, group->data->size());
    for (int i = 0; i < 2; ++i) {
        uint16_t iconId = static_cast<uint16_t>((*group->data)[6 + 14 * i + 12] | (*group->data)[6 + 14 * i + 13] << 8);
        const ResourceLeaf* icon = image.find(id(3), id(iconId));
        ASSERT_NE(nullptr, icon);
        EXPECT_TRUE(*icon->data == (i == 0 ? bitmap : png));
        const uint8_t* g = &(*group->data)[6 + 14 * i];
        EXPECT_EQ(0, std::memcmp(&ico[6 + 16 * i], g, 4)) << "width, height, colours as the file gives them";
        EXPECT_EQ(1, g[4] | g[5] << 8) << "planes";
        EXPECT_EQ(i == 0 ? 8 : 32, g[6] | g[7] << 8) << "bits per pixel";
        EXPECT_EQ(TestPe::get32(ico, 6 + 16 * i + 8), uint32_t(g[8] | g[9] << 8 | g[10] << 16 | g[11] << 24));
    }
    // Images that are neither: a bitmap of 0 bits, a PNG image of an
    // unknown colour type.
    for (size_t at : {38u + 14u, 38u + 40u + 25u}) {
        Bytes bad = ico;
        bad[at] = at == 38u + 14u ? 0 : 5;
        EXPECT_FALSE(replaceIconGroup(image, 131, bad, error)) << at;
        EXPECT_NE(std::string::npos, error.find("neither a PNG image nor a bitmap")) << error;
    }

    Bytes cut = ico;
    TestPe::put32(cut, 6 + 16 + 12, 0xFFFFFFF0);
    EXPECT_FALSE(replaceIconGroup(image, 131, cut, error));
    Bytes overlapping = ico;  // both images are the whole file: copies beyond its size
    for (size_t at : {6, 22}) {
        TestPe::put32(overlapping, at + 8, static_cast<uint32_t>(ico.size()));
        TestPe::put32(overlapping, at + 12, 0);
    }
    EXPECT_FALSE(replaceIconGroup(image, 131, overlapping, error));
    EXPECT_FALSE(replaceIconGroup(image, 131, Bytes{0, 0, 2, 0, 1, 0}, error)) << "a cursor file";
}

}  // namespace
