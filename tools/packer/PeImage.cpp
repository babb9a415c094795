// Reading PE headers and resource trees, and writing a new resource section.
// See PeImage.h.
//
// Layout of what is read and written (little-endian, offsets in bytes):
//   DOS header: "MZ" at 0; the file offset of the PE header at 0x3C.
//   PE header: "PE\0\0", then the COFF header (20 bytes): machine +0, number
//     of sections +2, time stamp +4, symbol table pointer +8, symbol count
//     +12, optional header size +16, characteristics +18.
//   Optional header (after the COFF header): magic +0 (0x10B PE32, 0x20B
//     PE32+), SizeOfInitializedData +8, SectionAlignment +32, FileAlignment
//     +36, SizeOfImage +56, SizeOfHeaders +60, CheckSum +64, Subsystem +68;
//     NumberOfRvaAndSizes +92 (PE32+: +108), then the data directories, 8
//     bytes each (RVA, size) from +96 (PE32+: +112): 2 resources, 4
//     certificates (a file offset, not an RVA), 5 base relocations.
//   Section table (after the optional header), 40 bytes a section: name +0,
//     VirtualSize +8, VirtualAddress +12, SizeOfRawData +16,
//     PointerToRawData +20, characteristics +36.
//   Resource directory (offsets relative to its start): a table of 16 bytes
//     (characteristics, time stamp, major and minor version, named entry
//     count +12, numbered entry count +14), then 8-byte entries, named ones
//     first: name (high bit set: offset of a counted UTF-16 string; else the
//     number) and target (high bit set: offset of the next level's table;
//     else offset of a 16-byte data entry: RVA, size, code page, 0).
//     Three levels: type, name, language.
#include "PeImage.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoryResources = 2;
constexpr uint32_t kDirectoryCertificates = 4;
constexpr uint32_t kDirectoryRelocations = 5;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint32_t kTableSize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kInitializedData = 0x40;  // section characteristics
constexpr uint32_t kWritable = 0x80000000;
constexpr uint32_t kLeafDataAlignment = 8;
// A resource tree with more entries than this is taken as hostile (it could
// otherwise make us walk the same tables billions of times).
constexpr size_t kEntryBudget = 1u << 16;
constexpr uint32_t kFixedVersionSignature = 0xFEEF04BD;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void put16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }
void put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i)); }

bool fits(uint64_t offset, uint64_t size, uint64_t limit) { return offset <= limit && size <= limit - offset; }
uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }
bool isPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string sectionName(const uint8_t* header) {
    std::string name(reinterpret_cast<const char*>(header), 8);
    return name.substr(0, name.find('\0'));
}

}  // namespace

bool ResourceName::operator<(const ResourceName& o) const {
    if (isId != o.isId) return !isId;
    return isId ? id < o.id : text < o.text;
}

// ---------------------------------------------------------------------------
// The checksum

void PeChecksum::update(const uint8_t* data, size_t size) {
    length_ += size;
    size_t i = 0;
    if (odd_ && size > 0) {
        sum_ += uint32_t(pending_) | uint32_t(data[0]) << 8;
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
        odd_ = false;
        i = 1;
    }
    for (; i + 1 < size; i += 2) {
        sum_ += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8;
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    }
    if (i < size) {
        pending_ = data[i];
        odd_ = true;
    }
}

uint32_t PeChecksum::finish() const {
    uint32_t sum = sum_;
    if (odd_) {
        sum += pending_;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + length_);
}

// ---------------------------------------------------------------------------
// Reading

bool PeImage::load(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    auto bytes = std::make_shared<ByteVector>();
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    if (!parse(bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool PeImage::parse(std::shared_ptr<const ByteVector> bytes, std::string& error) {
    bytes_ = std::move(bytes);
    kind_ = PeKind::NotPe;
    sections_.clear();
    leaves_.clear();
    return parseHeaders(error) && parseResources(error);
}

bool PeImage::parseHeaders(std::string& error) {
    const uint8_t* b = bytes_->data();
    const uint64_t n = bytes_->size();
    if (n < 0x40 || b[0] != 'M' || b[1] != 'Z') {
        error = "not a Windows executable (no MZ header)";
        return false;
    }
    peOffset_ = le32(b + 0x3C);
    if (!fits(peOffset_, 4 + kCoffHeaderSize, n) || le32(b + peOffset_) != kPeSignature) {
        error = "not a Windows executable (no PE header)";
        return false;
    }
    const uint8_t* coff = b + peOffset_ + 4;
    uint16_t sectionCount = le16(coff + 2);
    symbolTable_ = le32(coff + 8);
    uint16_t optionalSize = le16(coff + 16);
    characteristics_ = le16(coff + 18);
    optionalOffset_ = peOffset_ + 4 + kCoffHeaderSize;
    if (!fits(optionalOffset_, optionalSize, n) || optionalSize < 2) {
        error = "the optional header is cut short";
        return false;
    }
    const uint8_t* opt = b + optionalOffset_;
    uint16_t magic = le16(opt);
    uint32_t countOffset = magic == kMagicPe32 ? 92 : 108;
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        error = "unknown optional header magic";
        return false;
    }
    if (optionalSize < countOffset + 4) {
        error = "the optional header is cut short";
        return false;
    }
    kind_ = magic == kMagicPe32 ? PeKind::Pe32 : PeKind::Pe32Plus;
    sectionAlignment_ = le32(opt + 32);
    fileAlignment_ = le32(opt + 36);
    sizeOfImage_ = le32(opt + 56);
    checksum_ = le32(opt + 64);
    subsystem_ = le16(opt + 68);
    directoryCount_ = le32(opt + countOffset);
    directoriesOffset_ = optionalOffset_ + countOffset + 4;
    if (uint64_t(directoryCount_) * 8 > optionalSize - countOffset - 4) {
        error = "more data directories than the optional header holds";
        return false;
    }
    sectionTableOffset_ = optionalOffset_ + optionalSize;
    if (!fits(sectionTableOffset_, uint64_t(sectionCount) * kSectionHeaderSize, n)) {
        error = "the section table is cut short";
        return false;
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint32_t at = sectionTableOffset_ + i * kSectionHeaderSize;
        const uint8_t* h = b + at;
        Section s{at, le32(h + 8), le32(h + 12), le32(h + 16), le32(h + 20), le32(h + 36)};
        if (s.rawSize != 0 && !fits(s.rawPointer, s.rawSize, n)) {
            error = "section " + sectionName(h) + " extends past the end of the file";
            return false;
        }
        sections_.push_back(s);
    }
    auto directory = [&](uint32_t index, uint32_t& rva, uint32_t& size) {
        rva = size = 0;
        if (index >= directoryCount_) return;
        rva = le32(b + directoriesOffset_ + 8 * index);
        size = le32(b + directoriesOffset_ + 8 * index + 4);
    };
    uint32_t ignored;
    directory(kDirectoryCertificates, ignored, certificateSize_);
    directory(kDirectoryResources, resourceRva_, resourceSize_);
    return true;
}

bool PeImage::rvaToOffset(uint32_t rva, uint32_t size, uint32_t& offset) const {
    for (const Section& s : sections_) {
        if (rva >= s.virtualAddress && fits(rva - s.virtualAddress, size, s.rawSize)) {
            offset = s.rawPointer + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

bool PeImage::parseResources(std::string& error) {
    if (resourceRva_ == 0 || resourceSize_ == 0) return true;
    const Section* home = nullptr;
    for (const Section& s : sections_) {
        if (resourceRva_ >= s.virtualAddress && resourceRva_ - s.virtualAddress < s.rawSize) home = &s;
    }
    if (!home) {
        error = "the resource directory lies outside every section's data";
        return false;
    }
    uint32_t skip = resourceRva_ - home->virtualAddress;
    resourceBase_ = home->rawPointer + skip;
    resourceLimit_ = std::min(resourceSize_, home->rawSize - skip);
    leafBudget_ = kEntryBudget;
    copyBudget_ = bytes_->size();
    ResourceLeaf path;
    return readDirectory(0, 0, path, error);
}

bool PeImage::readName(uint32_t field, ResourceName& name, std::string& error) const {
    if (!(field & kSubdirectoryFlag)) {
        if (field > 0xFFFF) {
            error = "a resource number does not fit 16 bits";
            return false;
        }
        name = ResourceName::number(static_cast<uint16_t>(field));
        return true;
    }
    uint32_t offset = field & ~kSubdirectoryFlag;
    const uint8_t* base = bytes_->data() + resourceBase_;
    if (!fits(offset, 2, resourceLimit_) || !fits(offset + 2, uint64_t(le16(base + offset)) * 2, resourceLimit_)) {
        error = "a resource name lies outside the resource directory";
        return false;
    }
    uint16_t units = le16(base + offset);
    name.isId = false;
    name.id = 0;
    name.text.clear();
    for (uint16_t i = 0; i < units; ++i) name.text.push_back(static_cast<char16_t>(le16(base + offset + 2 + 2 * i)));
    return true;
}

bool PeImage::readDirectory(uint32_t offset, int level, ResourceLeaf& path, std::string& error) {
    const uint8_t* base = bytes_->data() + resourceBase_;
    if (!fits(offset, kTableSize, resourceLimit_)) {
        error = "a resource table lies outside the resource directory";
        return false;
    }
    uint32_t count = uint32_t(le16(base + offset + 12)) + le16(base + offset + 14);
    if (!fits(offset + kTableSize, uint64_t(count) * kEntrySize, resourceLimit_)) {
        error = "a resource table's entries lie outside the resource directory";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (leafBudget_-- == 0) {
            error = "the resource tree has more than 65536 entries";
            return false;
        }
        const uint8_t* entry = base + offset + kTableSize + i * kEntrySize;
        uint32_t nameField = le32(entry), target = le32(entry + 4);
        ResourceName name;
        if (!readName(nameField, name, error)) return false;
        bool subdirectory = (target & kSubdirectoryFlag) != 0;
        if (subdirectory != (level < 2)) {
            error = "the resource tree is not three levels deep (type, name, language)";
            return false;
        }
        if (level == 0) path.type = name;
        if (level == 1) path.name = name;
        if (level < 2) {
            if (!readDirectory(target & ~kSubdirectoryFlag, level + 1, path, error)) return false;
            continue;
        }
        if (!name.isId) {
            error = "a resource language is a name, not a number";
            return false;
        }
        if (!fits(target, kDataEntrySize, resourceLimit_)) {
            error = "a resource data entry lies outside the resource directory";
            return false;
        }
        uint32_t rva = le32(base + target), size = le32(base + target + 4), fileOffset = 0;
        if (!rvaToOffset(rva, size, fileOffset)) {
            error = "a resource's data lies outside the file";
            return false;
        }
        // Each leaf gets a copy of its data. Leaves of a sound file hold
        // bytes of their own, so their copies add up to less than the file;
        // leaves that all point at one large block would multiply it.
        if (size > copyBudget_) {
            error = "the resources' data add up to more than the file's size (leaves share their data)";
            return false;
        }
        copyBudget_ -= size;
        ResourceLeaf leaf = path;
        leaf.language = name.id;
        leaf.codePage = le32(base + target + 8);
        const uint8_t* data = bytes_->data() + fileOffset;
        leaf.data = std::make_shared<const ByteVector>(data, data + size);
        leaves_.push_back(std::move(leaf));
    }
    return true;
}

const ResourceLeaf* PeImage::find(const ResourceName& type, const ResourceName& name, uint16_t language) const {
    const ResourceLeaf* any = nullptr;
    for (const ResourceLeaf& leaf : leaves_) {
        if (leaf.type != type || leaf.name != name) continue;
        if (leaf.language == language) return &leaf;
        if (!any) any = &leaf;
    }
    return any;
}

void PeImage::setResource(ResourceLeaf leaf) {
    for (ResourceLeaf& existing : leaves_) {
        if (existing.type == leaf.type && existing.name == leaf.name && existing.language == leaf.language) {
            existing = std::move(leaf);
            return;
        }
    }
    leaves_.push_back(std::move(leaf));
}

void PeImage::removeResource(const ResourceName& type, const ResourceName& name) {
    leaves_.erase(std::remove_if(leaves_.begin(), leaves_.end(),
                                 [&](const ResourceLeaf& l) { return l.type == type && l.name == name; }),
                  leaves_.end());
}

bool readFixedVersion(const uint8_t* data, size_t size, FixedVersion& version) {
    // VS_VERSIONINFO: length +0, value length +2, type +4, the key
    // "VS_VERSION_INFO" in UTF-16 with its terminator from +6, padding to 4,
    // then the 52-byte fixed record at +40: signature 0xFEEF04BD +0, structure
    // version +4, file version (high, low) +8, product version (high, low) +16.
    static const char kKey[] = "VS_VERSION_INFO";
    constexpr size_t kFixedOffset = 40, kFixedSize = 52;
    if (size < kFixedOffset + kFixedSize || le16(data + 2) < kFixedSize || le16(data) < kFixedOffset + kFixedSize) return false;
    for (size_t i = 0; i < sizeof kKey; ++i) {
        if (le16(data + 6 + 2 * i) != static_cast<uint8_t>(kKey[i])) return false;
    }
    const uint8_t* fixed = data + kFixedOffset;
    if (le32(fixed) != kFixedVersionSignature) return false;
    version.fileVersion = uint64_t(le32(fixed + 8)) << 32 | le32(fixed + 12);
    version.productVersion = uint64_t(le32(fixed + 16)) << 32 | le32(fixed + 20);
    return true;
}

bool readPeFacts(const uint8_t* data, size_t size, PeFacts& facts, std::string& error) {
    facts = PeFacts();
    PeImage image;
    if (!image.parse(std::make_shared<const ByteVector>(data, data + size), error)) {
        // Not an executable at all is an answer, not a failure.
        if (image.kind() == PeKind::NotPe && error.compare(0, 28, "not a Windows executable (no") == 0) {
            error.clear();
            return true;
        }
        return false;
    }
    facts.kind = image.kind();
    facts.subsystem = image.subsystem();
    const ResourceLeaf* version = image.find(ResourceName::number(kResourceVersion), ResourceName::number(1));
    if (version) facts.hasVersion = readFixedVersion(version->data->data(), version->data->size(), facts.version);
    return true;
}

bool readPeFactsFile(const std::string& path, PeFacts& facts, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    ByteVector bytes;
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    if (!readPeFacts(bytes.data(), bytes.size(), facts, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Writing

bool PeImage::checkRewritable(size_t& resourceIndex, std::string& error) const {
    const uint8_t* b = bytes_->data();
    if (kind_ == PeKind::NotPe) {
        error = "no image has been read";
        return false;
    }
    if (certificateSize_ != 0) {
        error = "the file is signed, and a changed file no longer matches its signature; "
                "build from an unsigned stub and sign the result";
        return false;
    }
    if (symbolTable_ != 0) {
        error = "the file carries a symbol table after its sections (not stripped), which would be lost";
        return false;
    }
    if (!isPowerOfTwo(fileAlignment_) || !isPowerOfTwo(sectionAlignment_) || sectionAlignment_ < fileAlignment_) {
        error = "the section or file alignment is not a power of two";
        return false;
    }
    uint32_t relocationRva = 0, relocationSize = 0;
    if (kDirectoryRelocations < directoryCount_) {
        relocationRva = le32(b + directoriesOffset_ + 8 * kDirectoryRelocations);
        relocationSize = le32(b + directoriesOffset_ + 8 * kDirectoryRelocations + 4);
    }
    uint64_t headersEnd = sectionTableOffset_ + uint64_t(sections_.size()) * kSectionHeaderSize;
    for (const Section& s : sections_) {
        if (s.rawSize != 0 && s.rawPointer < headersEnd) {
            error = "section " + sectionName(b + s.headerOffset) + " overlaps the headers";
            return false;
        }
    }
    resourceIndex = sections_.size();
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (resourceRva_ != 0 && sections_[i].virtualAddress == resourceRva_) resourceIndex = i;
    }
    if (resourceIndex == sections_.size()) {
        error = "the file has no section of its own for resources";
        return false;
    }
    const Section& rsrc = sections_[resourceIndex];
    // The new resource data starts where the old did, and the headers are
    // copied up to that point: an empty section whose offset lies inside
    // them (the overlap check above skips sections without data) would
    // leave part of the headers out and have the new data written over them.
    if (rsrc.rawPointer < headersEnd) {
        error = "the resource section " + sectionName(b + rsrc.headerOffset) + " has no data and its file offset " +
                std::to_string(rsrc.rawPointer) + " lies inside the headers (which end at " +
                std::to_string(headersEnd) + "); the new resources would be written over them";
        return false;
    }
    // Sections after the resources, in address order, are moved: only the
    // base relocations can be, since nothing but their directory addresses them.
    uint64_t fileEnd = 0;
    for (size_t i = 0; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        fileEnd = std::max<uint64_t>(fileEnd, uint64_t(s.rawPointer) + s.rawSize);
        if (i == resourceIndex) continue;
        bool after = s.virtualAddress > rsrc.virtualAddress;
        bool isRelocations = relocationRva != 0 && s.virtualAddress == relocationRva &&
                             relocationSize <= std::max(s.virtualSize, s.rawSize);
        if (after && !isRelocations) {
            error = "section " + sectionName(b + s.headerOffset) + " follows the resource section and cannot be moved";
            return false;
        }
        if (!after && s.rawSize != 0 && uint64_t(s.rawPointer) + s.rawSize > rsrc.rawPointer) {
            error = "section " + sectionName(b + s.headerOffset) + " lies after the resource section in the file";
            return false;
        }
        if (after && s.rawSize != 0 && s.rawPointer < uint64_t(rsrc.rawPointer) + rsrc.rawSize) {
            error = "section " + sectionName(b + s.headerOffset) + " overlaps the resource section in the file";
            return false;
        }
        if (i < resourceIndex && after) {
            error = "the section table is not in address order";
            return false;
        }
        if (i > resourceIndex && !after) {
            error = "the section table is not in address order";
            return false;
        }
    }
    if (fileEnd != bytes_->size()) {
        error = std::to_string(bytes_->size() - fileEnd) + " bytes after the last section (appended data) would be lost";
        return false;
    }
    for (uint32_t d = 0; d < directoryCount_; ++d) {
        if (d == kDirectoryResources || d == kDirectoryCertificates || d == kDirectoryRelocations) continue;
        uint32_t rva = le32(b + directoriesOffset_ + 8 * d), size = le32(b + directoriesOffset_ + 8 * d + 4);
        if (size != 0 && rva >= rsrc.virtualAddress) {
            error = "data directory " + std::to_string(d) + " points into the sections that would move";
            return false;
        }
    }
    return true;
}

// The resource section as written: the type table, then every name table,
// then every language table (each a 16-byte table and its 8-byte entries),
// then the 16-byte data entries, then the name strings (a 16-bit count and
// UTF-16 units), then each leaf's bytes at an 8-byte boundary. Tables carry
// no time stamp, so the same resources give the same bytes.
ByteVector PeImage::buildResourceSection(uint32_t sectionRva,
                                         std::vector<std::pair<uint32_t, const ByteVector*>>& data,
                                         uint32_t& size) const {
    std::vector<const ResourceLeaf*> order;
    for (const ResourceLeaf& leaf : leaves_) order.push_back(&leaf);
    std::stable_sort(order.begin(), order.end(), [](const ResourceLeaf* a, const ResourceLeaf* b) {
        if (a->type != b->type) return a->type < b->type;
        if (a->name != b->name) return a->name < b->name;
        return a->language < b->language;
    });
    // The tree: types, their names, their languages (indices into order).
    struct NameNode { ResourceName name; std::vector<size_t> leaves; };
    struct TypeNode { ResourceName type; std::vector<NameNode> names; };
    std::vector<TypeNode> types;
    for (size_t i = 0; i < order.size(); ++i) {
        const ResourceLeaf& l = *order[i];
        if (types.empty() || types.back().type != l.type) types.push_back({l.type, {}});
        auto& names = types.back().names;
        if (names.empty() || names.back().name != l.name) names.push_back({l.name, {}});
        names.back().leaves.push_back(i);
    }
    auto tableSize = [](size_t entries) { return kTableSize + kEntrySize * static_cast<uint32_t>(entries); };
    // Offsets of every table and of the data entries, then the strings.
    uint32_t at = tableSize(types.size());
    std::vector<uint32_t> nameTables, languageTables;
    for (const TypeNode& t : types) {
        nameTables.push_back(at);
        at += tableSize(t.names.size());
    }
    for (const TypeNode& t : types) {
        for (const NameNode& n : t.names) {
            languageTables.push_back(at);
            at += tableSize(n.leaves.size());
        }
    }
    uint32_t dataEntries = at;
    at += kDataEntrySize * static_cast<uint32_t>(order.size());
    uint32_t stringsStart = at;
    std::vector<uint32_t> typeStrings, nameStrings;
    for (const TypeNode& t : types) {
        typeStrings.push_back(at);
        if (!t.type.isId) at += 2 + 2 * static_cast<uint32_t>(t.type.text.size());
        for (const NameNode& n : t.names) {
            nameStrings.push_back(at);
            if (!n.name.isId) at += 2 + 2 * static_cast<uint32_t>(n.name.text.size());
        }
    }
    (void)stringsStart;
    uint32_t directorySize = static_cast<uint32_t>(alignUp(at, kLeafDataAlignment));
    ByteVector out(directorySize, 0);

    auto writeTable = [&](uint32_t offset, const std::vector<ResourceName>& names) {
        uint16_t named = static_cast<uint16_t>(std::count_if(names.begin(), names.end(), [](const ResourceName& r) { return !r.isId; }));
        put16(&out[offset + 12], named);
        put16(&out[offset + 14], static_cast<uint16_t>(names.size() - named));
    };
    auto writeString = [&](uint32_t offset, const std::u16string& text) {
        put16(&out[offset], static_cast<uint16_t>(text.size()));
        for (size_t i = 0; i < text.size(); ++i) put16(&out[offset + 2 + 2 * i], text[i]);
    };
    auto nameField = [](const ResourceName& n, uint32_t stringOffset) { return n.isId ? uint32_t(n.id) : kSubdirectoryFlag | stringOffset; };

    std::vector<ResourceName> typeNames;
    for (const TypeNode& t : types) typeNames.push_back(t.type);
    writeTable(0, typeNames);
    uint64_t dataAt = directorySize;
    size_t nameIndex = 0;
    for (size_t ti = 0; ti < types.size(); ++ti) {
        const TypeNode& t = types[ti];
        uint8_t* entry = &out[kTableSize + kEntrySize * ti];
        put32(entry, nameField(t.type, typeStrings[ti]));
        put32(entry + 4, kSubdirectoryFlag | nameTables[ti]);
        if (!t.type.isId) writeString(typeStrings[ti], t.type.text);
        std::vector<ResourceName> names;
        for (const NameNode& n : t.names) names.push_back(n.name);
        writeTable(nameTables[ti], names);
        for (size_t ni = 0; ni < t.names.size(); ++ni, ++nameIndex) {
            const NameNode& n = t.names[ni];
            uint8_t* nameEntry = &out[nameTables[ti] + kTableSize + kEntrySize * ni];
            put32(nameEntry, nameField(n.name, nameStrings[nameIndex]));
            put32(nameEntry + 4, kSubdirectoryFlag | languageTables[nameIndex]);
            if (!n.name.isId) writeString(nameStrings[nameIndex], n.name.text);
            uint32_t table = languageTables[nameIndex];
            put16(&out[table + 14], static_cast<uint16_t>(n.leaves.size()));
            for (size_t li = 0; li < n.leaves.size(); ++li) {
                size_t leafIndex = n.leaves[li];
                const ResourceLeaf& leaf = *order[leafIndex];
                uint32_t dataEntry = dataEntries + kDataEntrySize * static_cast<uint32_t>(leafIndex);
                put32(&out[table + kTableSize + kEntrySize * li], leaf.language);
                put32(&out[table + kTableSize + kEntrySize * li + 4], dataEntry);
                put32(&out[dataEntry], static_cast<uint32_t>(sectionRva + dataAt));
                put32(&out[dataEntry + 4], static_cast<uint32_t>(leaf.data->size()));
                put32(&out[dataEntry + 8], leaf.codePage);
                data.push_back({static_cast<uint32_t>(dataAt), leaf.data.get()});
                dataAt = alignUp(dataAt + leaf.data->size(), kLeafDataAlignment);
            }
        }
    }
    // Callers check the size against 32 bits before the offsets are used.
    size = dataAt > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(dataAt);
    return out;
}

bool PeImage::layout(PeOutput& out, std::string& error) const {
    out = PeOutput();
    size_t r = 0;
    if (!checkRewritable(r, error)) return false;
    uint64_t total = 0;
    for (const ResourceLeaf& leaf : leaves_) total += alignUp(leaf.data->size(), kLeafDataAlignment) + 64;
    if (total > 0xF0000000u) {
        error = "the resources add up to more than a 32-bit image can hold";
        return false;
    }
    const Section& rsrc = sections_[r];
    std::vector<std::pair<uint32_t, const ByteVector*>> data;
    uint32_t resourceSize = 0;
    auto directory = std::make_shared<ByteVector>(buildResourceSection(rsrc.virtualAddress, data, resourceSize));
    uint64_t rawSize = alignUp(resourceSize, fileAlignment_);

    // The header: everything before the first section's data, patched.
    uint32_t firstRaw = rsrc.rawPointer;
    for (const Section& s : sections_) {
        if (s.rawSize != 0) firstRaw = std::min(firstRaw, s.rawPointer);
    }
    auto header = std::make_shared<ByteVector>(bytes_->begin(), bytes_->begin() + firstRaw);
    uint8_t* h = header->data();
    uint8_t* opt = h + optionalOffset_;
    put16(h + peOffset_ + 4 + 18, characteristics_);
    put32(h + directoriesOffset_ + 8 * kDirectoryResources + 4, resourceSize);
    if (rsrc.flags & kInitializedData) put32(opt + 8, static_cast<uint32_t>(le32(opt + 8) - rsrc.rawSize + rawSize));

    // The resource section keeps its place; what follows moves up or down.
    uint64_t nextAddress = alignUp(uint64_t(rsrc.virtualAddress) + resourceSize, sectionAlignment_);
    uint64_t nextRaw = rsrc.rawPointer + rawSize;
    put32(h + rsrc.headerOffset + 8, resourceSize);
    put32(h + rsrc.headerOffset + 16, static_cast<uint32_t>(rawSize));
    // Nothing writes to resources (the loader hands them out read-only), so
    // the section is not writable, as the platform's own linkers make it.
    put32(h + rsrc.headerOffset + 36, rsrc.flags & ~kWritable);
    std::vector<const Section*> tail;
    std::vector<std::pair<uint64_t, uint64_t>> places;  // new address and file offset of each
    for (size_t i = r + 1; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        tail.push_back(&s);
        places.push_back({nextAddress, nextRaw});
        nextAddress = alignUp(nextAddress + std::max(s.virtualSize, s.rawSize), sectionAlignment_);
        nextRaw += s.rawSize;
    }
    uint64_t imageEnd = nextAddress;
    if (imageEnd > 0xFFFFFFFFu || nextRaw > 0xFFFFFFFFu) {
        error = "the image would exceed 4 GiB";
        return false;
    }
    uint32_t relocation = directoriesOffset_ + 8 * kDirectoryRelocations;
    for (size_t i = 0; i < tail.size(); ++i) {
        const Section& s = *tail[i];
        put32(h + s.headerOffset + 12, static_cast<uint32_t>(places[i].first));
        if (s.rawSize != 0) put32(h + s.headerOffset + 20, static_cast<uint32_t>(places[i].second));
        if (kDirectoryRelocations < directoryCount_ && le32(bytes_->data() + relocation) == s.virtualAddress) {
            put32(h + relocation, static_cast<uint32_t>(places[i].first));
        }
    }
    put32(opt + 56, static_cast<uint32_t>(imageEnd));
    put32(opt + 64, 0);

    // Pieces in file order.
    auto zeros = std::make_shared<ByteVector>(std::max<uint32_t>(fileAlignment_, kLeafDataAlignment), 0);
    out.owned = {bytes_, header, directory, zeros};
    auto add = [&](const uint8_t* p, size_t n) {
        if (n) out.pieces.push_back({p, n});
    };
    add(header->data(), header->size());
    add(bytes_->data() + firstRaw, rsrc.rawPointer - firstRaw);
    add(directory->data(), directory->size());
    uint64_t at = directory->size();
    for (const auto& piece : data) {
        add(zeros->data(), piece.first - at);
        add(piece.second->data(), piece.second->size());
        at = piece.first + piece.second->size();
    }
    add(zeros->data(), rawSize - at);
    for (const Section* s : tail) add(bytes_->data() + s->rawPointer, s->rawSize);
    // Keep the leaves' bytes alive with the output.
    for (const ResourceLeaf& leaf : leaves_) out.owned.push_back(leaf.data);

    PeChecksum checksum;
    for (const auto& piece : out.pieces) checksum.update(piece.first, piece.second);
    put32(opt + 64, checksum.finish());
    out.fileSize = nextRaw;
    out.sizeOfImage = static_cast<uint32_t>(imageEnd);
    return true;
}

// ---------------------------------------------------------------------------
// Output

namespace {

bool sameContents(const std::string& path, const PeOutput& image) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) == image.fileSize;
    std::vector<uint8_t> buffer(1 << 16);
    for (size_t p = 0; same && p < image.pieces.size(); ++p) {
        const uint8_t* data = image.pieces[p].first;
        size_t left = image.pieces[p].second;
        while (same && left > 0) {
            size_t want = std::min(left, buffer.size());
            ssize_t got = read(fd, buffer.data(), want);
            same = got == static_cast<ssize_t>(want) && std::memcmp(buffer.data(), data, want) == 0;
            data += want;
            left -= want;
        }
    }
    close(fd);
    return same;
}

}  // namespace

bool PeOutput::writeIfChanged(const std::string& path, bool& changed, std::string& error) const {
    changed = false;
    if (sameContents(path, *this)) return true;
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);
    if (fd < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0777 & ~mask) == 0;
    for (size_t p = 0; ok && p < pieces.size(); ++p) {
        const uint8_t* data = pieces[p].first;
        size_t left = pieces[p].second;
        while (ok && left > 0) {
            ssize_t put = write(fd, data, left);
            ok = put > 0;
            if (ok) {
                data += put;
                left -= static_cast<size_t>(put);
            }
        }
    }
    int writeErrno = errno;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        writeErrno = errno;
        ok = false;
    }
    if (!ok) {
        unlink(temporary.c_str());
        error = "cannot write " + path + ": " + std::strerror(writeErrno);
        return false;
    }
    changed = true;
    return true;
}
