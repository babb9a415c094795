// The loader's rules: sound images pass, and each image broken in one way
// (built from a sound one by patching a field) is refused with its reason.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ImageRules.h"
#include "PeImage.h"
#include "TestPe.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Section header fields, by index in TestPe's table (.text, .bss, .rsrc,
// .reloc).
constexpr size_t kVirtualSize = 8, kVirtualAddress = 12, kRawSize = 16, kRawPointer = 20;
size_t sectionField(size_t index, size_t field) { return TestPe().sectionTable() + 40 * index + field; }

Bytes laidOut(const Bytes& file, const std::vector<ResourceLeaf>& extra) {
    PeImage image;
    std::string error;
    EXPECT_TRUE(image.parse(std::make_shared<const Bytes>(file), error)) << error;
    for (const ResourceLeaf& leaf : extra) image.setResource(leaf);
    PeOutput out;
    EXPECT_TRUE(image.layout(out, error)) << error;
    Bytes all;
    for (const auto& piece : out.pieces) all.insert(all.end(), piece.first, piece.first + piece.second);
    return all;
}

ResourceLeaf leaf(ResourceName type, ResourceName name) {
    return {type, name, 0, 0, std::make_shared<const Bytes>(Bytes{'x'})};
}
ResourceName named(const char16_t* text) {
    ResourceName n;
    n.isId = false;
    n.text = text;
    return n;
}

::testing::AssertionResult refusedFor(const Bytes& file, const std::string& reason) {
    ImageReport report;
    if (checkImageRules(file.data(), file.size(), report)) return ::testing::AssertionFailure() << "passed";
    std::string all;
    for (const std::string& fault : report.faults) {
        if (fault.find(reason) != std::string::npos) return ::testing::AssertionSuccess();
        all += "\n  " + fault;
    }
    return ::testing::AssertionFailure() << "no fault names \"" << reason << "\"; found:" << all;
}

TEST(ImageRulesTest, SoundImagesPass) {
    TestPe dll;
    dll.executionLevel = "";
    Bytes dllFile = dll.build();
    TestPe::put16(dllFile, TestPe::kPeOffset + 22, 0x2102);  // a library asks for no execution level
    TestPe plus, admin;
    plus.pe32Plus = true;
    admin.executionLevel = "requireAdministrator";
    const struct {
        const char* what;
        Bytes file;
        const char* level;
    } cases[] = {
        {"as linked", TestPe().build(), "asInvoker"},
        {"PE32+", plus.build(), "asInvoker"},
        {"rewritten, with its checksum", laidOut(TestPe().build(), {leaf(ResourceName::number(10), ResourceName::number(129))}),
         "asInvoker"},
        {"elevated", admin.build(), "requireAdministrator"},
        {"a library without a manifest", dllFile, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImageReport report;
        EXPECT_TRUE(checkImageRules(c.file.data(), c.file.size(), report))
            << (report.faults.empty() ? "" : report.faults.front());
        EXPECT_EQ(c.level, report.executionLevel);
    }
}

TEST(ImageRulesTest, EachBrokenRuleIsNamed) {
    const Bytes good = TestPe().build();
    const uint32_t opt = TestPe().optionalOffset(), dirs = TestPe().directoriesOffset();
    const uint32_t rsrcRaw = TestPe::get32(good, sectionField(2, kRawPointer));
    const uint32_t relocRaw = TestPe::get32(good, sectionField(3, kRawPointer));
    auto patch32 = [&](std::vector<std::pair<size_t, uint32_t>> fields) {
        Bytes b = good;
        for (const auto& f : fields) TestPe::put32(b, f.first, f.second);
        return b;
    };
    auto with = [](void (*change)(TestPe&)) {
        TestPe pe;
        change(pe);
        return pe.build();
    };
    // Two types (10 and 24) and two names of type 10, as setup-pack writes
    // them; then an entry pair of each table swapped. The type table is at
    // 0, type 10's name table right after it (16 + 2 * 8).
    Bytes tree = laidOut(good, {leaf(ResourceName::number(10), named(u"ALPHA")),
                                leaf(ResourceName::number(10), named(u"BETA"))});
    TestPe::put32(tree, opt + 64, 0);  // no checksum claimed: the swaps below change the sum
    auto swapped = [&](size_t table) {
        Bytes b = tree;
        for (size_t i = 0; i < 8; ++i) std::swap(b[rsrcRaw + table + 16 + i], b[rsrcRaw + table + 24 + i]);
        return b;
    };
    Bytes noLevel = good;
    for (size_t i = rsrcRaw; i + 6 < noLevel.size(); ++i) {
        if (std::string(noLevel.begin() + i, noLevel.begin() + i + 6) == "level=") noLevel[i + 1] = 'x';
    }

    const struct {
        const char* what;
        Bytes file;
        const char* reason;
    } cases[] = {
        {"no MZ", patch32({{0, 0x905A58}}), "no MZ signature"},
        {"e_lfanew past the end", patch32({{0x3C, static_cast<uint32_t>(good.size() - 8)}}), "e_lfanew"},
        {"no PE signature", patch32({{TestPe::kPeOffset, 0x4551}}), "no PE signature"},
        {"unknown magic", patch32({{opt, 0x107}}), "magic 0x107"},
        {"file alignment below 512", patch32({{opt + 36, 0x100}}), "FileAlignment 0x100 is not a power of two from 512"},
        {"file alignment not a power of two", patch32({{opt + 36, 0x300}}), "FileAlignment 0x300"},
        {"section alignment below the file's", patch32({{opt + 36, 0x2000}}), "SectionAlignment 0x1000"},
        {"section alignment below a page, unlike the file's", patch32({{opt + 32, 0x800}}), "SectionAlignment 0x800"},
        {"no sections", [&] { Bytes b = good; TestPe::put16(b, TestPe::kPeOffset + 6, 0); return b; }(), "0 sections"},
        {"headers too small for the section table", patch32({{opt + 60, 0x200}}), "SizeOfHeaders 0x200 does not cover"},
        {"headers not aligned", patch32({{opt + 60, 0x300}}), "SizeOfHeaders 0x300 is not a multiple"},
        // The hole objcopy leaves when it removes a section after linking.
        {"a gap between sections", with([](TestPe& p) { p.bssGap = 0x1000; }),
         "section .bss starts at RVA 0x3000, but the section before it, .text, ends at 0x2000: a gap of 0x1000"},
        {"a section overlapping the next", patch32({{sectionField(1, kVirtualSize), 0x2000}}),
         "section .rsrc starts at RVA 0x3000, though the section before it, .bss, ends at 0x4000"},
        {"a section not aligned", patch32({{sectionField(1, kVirtualAddress), 0x2100}}), "not a multiple of SectionAlignment"},
        {"raw data not aligned", patch32({{sectionField(0, kRawPointer), 0x410}}), "is not aligned to FileAlignment"},
        {"raw data past the end", patch32({{sectionField(3, kRawSize), 0x400}}), "extends past the end of the file"},
        {"raw data inside the headers", patch32({{sectionField(0, kRawPointer), 0x200}}), "lies inside the headers"},
        {"image size too large", patch32({{opt + 56, 0x6000}}), "SizeOfImage is 0x6000, but the sections end at 0x5000"},
        {"import directory outside the image", patch32({{dirs + 8, 0x4F00}, {dirs + 12, 0x200}}), "the import directory"},
        {"security directory inside the sections", patch32({{dirs + 32, 0x400}, {dirs + 36, 8}}), "the security directory"},
        {"wrong checksum", patch32({{opt + 64, 0x1234}}), "CheckSum 0x1234 does not match"},
        {"named count wrong", patch32({{rsrcRaw + 12, 1}}), "counts 1 named entries, but entry 1 is a number"},
        {"numbers out of order", swapped(0), "numbers 24 and 10 are not in ascending order"},
        {"names out of order", swapped(16 + 2 * 8), "names \"BETA\" and \"ALPHA\" are not in ascending order"},
        {"resource data outside .rsrc", patch32({{rsrcRaw + 0x48, 0x1000}}), "lies outside the resource section .rsrc"},
        {"tree two levels deep", patch32({{rsrcRaw + 0x2C, 0x48}}), "not three levels deep"},
        {"relocation block too short", patch32({{relocRaw + 4, 6}}), "claims 0x6 bytes"},
        {"relocation of a foreign type", [&] { Bytes b = good; TestPe::put16(b, relocRaw + 8, 0xA004); return b; }(),
         "has type 10"},
        {"relocation outside every section", patch32({{relocRaw, 0x9000}}), "RVA 0x9004 points outside every section"},
        {"no manifest", with([](TestPe& p) { p.executionLevel = ""; }), "has no manifest"},
        {"manifest without a level", noLevel, "no requestedExecutionLevel with a level"},
        {"unknown level", with([](TestPe& p) { p.executionLevel = "asAdministrator"; }),
         "is \"asAdministrator\", not asInvoker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(refusedFor(c.file, c.reason));
    }
}

// Damaged images are read within their bounds (the sanitizers watch).
TEST(ImageRulesTest, DamagedImagesAreReadWithinTheirBounds) {
    const Bytes valid = laidOut(TestPe().build(), {leaf(ResourceName::number(10), named(u"N"))});
    ImageReport report;
    for (size_t size = 0; size < valid.size(); size += 5) checkImageRules(valid.data(), size, report);
    std::mt19937 random(17);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = valid;
        for (int k = 0; k < 4; ++k) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        checkImageRules(bytes.data(), bytes.size(), report);
    }
}

}  // namespace
