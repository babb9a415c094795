// readProgramInfo: the few facts of a Windows executable that the checks of
// setup-pack ask for. Every field is read at its offset with its bounds
// checked against the file.
//
// Layout read here (offsets in bytes, little-endian):
//   DOS header: "MZ" at 0; offset of the PE signature at 0x3C (32 bits).
//   At the PE offset: "PE\0\0"; then the file header: machine +4, number of
//   sections +6, size of the optional header +20.
//   Optional header at PE offset + 24: magic +0 (0x10B PE32, 0x20B PE32+),
//   subsystem +68, number of data directories +92 (PE32) or +108 (PE32+),
//   data directories (RVA, size) from +96 or +112; the resource table is the
//   third.
//   Section table after the optional header, 40 bytes a section: virtual size
//   +8, virtual address +12, raw size +16, raw offset +20.
//   Resource directory: named entries +12, numbered entries +14 (16 bits
//   each), entries from +16, 8 bytes each: name or id, then the offset of a
//   subdirectory (high bit set) or of a data entry, from the resource table's
//   start. A data entry: RVA +0, size +4.
//   Version resource (type 16, name 1, any language): length +0, value
//   length +2, type +4, the key "VS_VERSION_INFO" in UTF-16 from +6, then
//   the fixed record at the next 4-byte boundary: signature 0xFEEF04BD +0,
//   file version most significant half +8, product version's +16.
#include "SetupCheck.h"

#include <errno.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr uint16_t kVersionType = 16;
constexpr uint16_t kVersionName = 1;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kSubdirectory = 0x80000000;
constexpr int kMaxEntries = 4096;  // a bound on the directory walk of a damaged file

class Bytes {
public:
    explicit Bytes(const std::vector<uint8_t>& data) : data_(data) {}
    bool has(uint64_t offset, uint64_t size) const { return offset <= data_.size() && size <= data_.size() - offset; }
    uint16_t u16(uint64_t o) const { return static_cast<uint16_t>(data_[o] | data_[o + 1] << 8); }
    uint32_t u32(uint64_t o) const { return u16(o) | static_cast<uint32_t>(u16(o + 2)) << 16; }

private:
    const std::vector<uint8_t>& data_;
};

struct SectionMap {
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// The file offset of `size` bytes at `rva`, inside one section's raw data.
bool rvaToOffset(const std::vector<SectionMap>& sections, uint32_t rva, uint32_t size, uint64_t& offset) {
    for (const SectionMap& s : sections) {
        uint64_t extent = s.rawSize < s.virtualSize || s.virtualSize == 0 ? s.rawSize : s.virtualSize;
        if (rva >= s.virtualAddress && uint64_t(rva) - s.virtualAddress + size <= extent) {
            offset = uint64_t(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

// The entry of `id` in the resource directory at `dir` (or the first entry
// when `id` is 0); its offset field, or false.
bool findEntry(const Bytes& b, uint64_t base, uint64_t limit, uint32_t dir, uint16_t id, uint32_t& target) {
    if (!b.has(base + dir, 16) || dir + 16 > limit) return false;
    uint32_t named = b.u16(base + dir + 12), numbered = b.u16(base + dir + 14);
    uint32_t count = named + numbered;
    if (count > kMaxEntries || !b.has(base + dir + 16, uint64_t(count) * 8)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t entry = base + dir + 16 + uint64_t(i) * 8;
        uint32_t name = b.u32(entry);
        if (id == 0 || (!(name & kSubdirectory) && name == id)) {
            target = b.u32(entry + 4);
            return true;
        }
    }
    return false;
}

}  // namespace

bool readProgramInfo(const std::string& path, ProgramInfo& info, std::string& error) {
    info = ProgramInfo();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = strerror(errno);
        return false;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes b(data);
    if (!b.has(0, 0x40) || data[0] != 'M' || data[1] != 'Z') return true;  // not a PE image
    uint32_t pe = b.u32(0x3C);
    if (!b.has(pe, 24) || memcmp(&data[pe], "PE\0\0", 4) != 0) return true;
    uint16_t sectionCount = b.u16(pe + 6);
    uint16_t optionalSize = b.u16(pe + 20);
    uint64_t optional = uint64_t(pe) + 24;
    if (!b.has(optional, optionalSize) || optionalSize < 2) {
        error = "the optional header lies past the end of the file";
        return false;
    }
    uint16_t magic = b.u16(optional);
    if (magic != 0x10B && magic != 0x20B) {
        error = "the optional header has an unknown magic number";
        return false;
    }
    info.is64Bit = magic == 0x20B;
    uint32_t countField = info.is64Bit ? 108 : 92;
    uint32_t directories = info.is64Bit ? 112 : 96;
    if (optionalSize < countField + 4) {
        error = "the optional header is too short";
        return false;
    }
    info.isPe = true;
    info.subsystem = b.u16(optional + 68);
    uint32_t directoryCount = b.u32(optional + countField);
    if (directoryCount < 3 || optionalSize < directories + 3 * 8) return true;  // no resources
    uint32_t resourceRva = b.u32(optional + directories + 16);
    uint32_t resourceSize = b.u32(optional + directories + 20);
    if (resourceRva == 0 || resourceSize == 0) return true;

    uint64_t table = optional + optionalSize;
    if (!b.has(table, uint64_t(sectionCount) * 40)) {
        error = "the section table lies past the end of the file";
        return false;
    }
    std::vector<SectionMap> sections;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint64_t s = table + uint64_t(i) * 40;
        sections.push_back({b.u32(s + 12), b.u32(s + 8), b.u32(s + 20), b.u32(s + 16)});
    }
    uint64_t base = 0;
    if (!rvaToOffset(sections, resourceRva, resourceSize, base) || !b.has(base, resourceSize)) {
        error = "the resource table lies outside the file's sections";
        return false;
    }
    // Type, name, language: three levels of directories, then a data entry.
    uint32_t offset = 0;
    const uint16_t wanted[3] = {kVersionType, kVersionName, 0};
    for (uint16_t id : wanted) {
        if (offset & kSubdirectory) offset &= ~kSubdirectory;
        if (!findEntry(b, base, resourceSize, offset, id, offset)) return true;  // no version resource
        if (id != 0 && !(offset & kSubdirectory)) return true;
    }
    if ((offset & kSubdirectory) || !b.has(base + offset, 8) || offset + 8 > resourceSize) return true;
    uint32_t dataRva = b.u32(base + offset), dataSize = b.u32(base + offset + 4);
    uint64_t block = 0;
    if (!rvaToOffset(sections, dataRva, dataSize, block) || !b.has(block, dataSize) || dataSize < 40 + 52) {
        return true;
    }
    static const char kKey[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof kKey; ++i) {
        if (b.u16(block + 6 + 2 * i) != static_cast<uint8_t>(kKey[i])) return true;
    }
    uint16_t valueLength = b.u16(block + 2);
    uint64_t fixed = block + 40;  // 6 + 32 bytes of key, aligned to 4
    if (valueLength < 52 || b.u32(fixed) != kFixedSignature) return true;
    info.hasVersion = true;
    info.fileVersionMs = b.u32(fixed + 8);
    info.productVersionMs = b.u32(fixed + 16);
    return true;
}
