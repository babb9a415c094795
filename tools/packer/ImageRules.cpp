// The loader's rules for an image. See ImageRules.h.
//
// Fields read (little-endian, offsets in bytes; the layout is described in
// full in PeImage.cpp):
//   DOS header: "MZ" at 0, e_lfanew (the NT header's file offset) at 0x3C.
//   NT header: "PE\0\0", the COFF header (section count +6, optional header
//     size +20, characteristics +22, from the signature).
//   Optional header: magic +0, SectionAlignment +32, FileAlignment +36,
//     SizeOfImage +56, SizeOfHeaders +60, CheckSum +64; NumberOfRvaAndSizes
//     +92 (PE32+ +108) and the directories after it, 8 bytes each.
//   Section table entries (40 bytes): name +0, VirtualSize +8,
//     VirtualAddress +12, SizeOfRawData +16, PointerToRawData +20.
//   Base relocations: blocks of page RVA +0, block size +4, then 16-bit
//     entries (type in the top 4 bits, offset in the page below).
#include "ImageRules.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "PeImage.h"

namespace {

constexpr uint32_t kPeSignature = 0x00004550;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kMinFileAlignment = 512;
constexpr uint32_t kMaxFileAlignment = 64 * 1024;
constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kMaxSections = 96;  // the loader maps no more
constexpr uint32_t kDirectoryCount = 16;
constexpr uint32_t kDirectoryResources = 2;
constexpr uint32_t kDirectorySecurity = 4;
constexpr uint32_t kDirectoryRelocations = 5;
constexpr uint16_t kImageDll = 0x2000;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint16_t kResourceManifest = 24;
constexpr uint16_t kProcessManifest = 1;  // the manifest the loader reads for an executable
// A resource tree with more entries than this is taken as hostile.
constexpr size_t kEntryBudget = 1u << 16;
constexpr uint16_t kRelocationAbsolute = 0;  // padding
constexpr uint16_t kRelocationHighLow = 3;   // 32-bit address (PE32)
constexpr uint16_t kRelocationDir64 = 10;    // 64-bit address (PE32+)

const char* const kDirectoryNames[kDirectoryCount] = {
    "export",          "import", "resource",        "exception",         "security",    "base relocation",
    "debug",           "architecture", "global pointer", "TLS",          "load configuration", "bound import",
    "import address",  "delay import", "runtime header", "reserved"};
const char* const kLevelNames[3] = {"type", "name", "language"};

bool fits(uint64_t offset, uint64_t size, uint64_t limit) { return offset <= limit && size <= limit - offset; }
uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }
bool isPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string shownName(const std::u16string& text) {
    std::string out = "\"";
    for (char16_t c : text) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return out + "\"";
}

struct Section {
    std::string name;
    uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
    // The loader maps VirtualSize bytes, or SizeOfRawData when it is 0.
    uint64_t span() const { return virtualSize ? virtualSize : rawSize; }
    uint64_t end() const { return uint64_t(virtualAddress) + span(); }
};

class Checker {
public:
    Checker(const uint8_t* data, size_t size, ImageReport& report) : b_(data), n_(size), report_(report) {}

    bool run() {
        if (!readHeaders()) return false;
        checkLayout();
        checkDirectories();
        checkChecksum();
        checkResources();
        checkRelocations();
        checkManifest();
        return report_.faults.empty();
    }

private:
    void fault(const std::string& text) { report_.faults.push_back(text); }
    uint16_t le16(uint64_t at) const { return static_cast<uint16_t>(b_[at] | b_[at + 1] << 8); }
    uint32_t le32(uint64_t at) const {
        return uint32_t(b_[at]) | uint32_t(b_[at + 1]) << 8 | uint32_t(b_[at + 2]) << 16 | uint32_t(b_[at + 3]) << 24;
    }

    bool readHeaders();
    void checkLayout();
    void checkDirectories();
    void checkChecksum();
    void checkResources();
    bool readTable(uint32_t offset, int level, uint16_t typeId, uint16_t nameId);
    bool readResourceName(uint32_t field, std::u16string& name);
    void checkRelocations();
    void checkManifest();
    // The section whose mapped range holds [rva, rva + size), or null.
    const Section* sectionOf(uint64_t rva, uint64_t size) const {
        for (const Section& s : sections_) {
            if (rva >= s.virtualAddress && fits(rva - s.virtualAddress, size, s.span())) return &s;
        }
        return nullptr;
    }
    // File offset of [rva, rva + size) when all of it is a section's file data.
    bool fileOffset(uint64_t rva, uint64_t size, uint64_t& offset) const {
        for (const Section& s : sections_) {
            if (rva >= s.virtualAddress && fits(rva - s.virtualAddress, size, s.rawSize)) {
                offset = s.rawPointer + (rva - s.virtualAddress);
                return fits(offset, size, n_);
            }
        }
        return false;
    }
    void directory(uint32_t index, uint32_t& rva, uint32_t& size) const {
        rva = size = 0;
        if (index >= directoryCount_) return;
        rva = le32(directories_ + 8 * index);
        size = le32(directories_ + 8 * index + 4);
    }

    const uint8_t* b_;
    uint64_t n_;
    ImageReport& report_;
    bool pe32Plus_ = false;
    uint16_t characteristics_ = 0;
    uint64_t optional_ = 0, directories_ = 0;
    uint32_t directoryCount_ = 0;
    uint32_t sectionAlignment_ = 0, fileAlignment_ = 0, sizeOfImage_ = 0, sizeOfHeaders_ = 0;
    bool alignmentsSound_ = false;
    std::vector<Section> sections_;
    // Resources
    const Section* resourceHome_ = nullptr;
    uint64_t resourceBase_ = 0, resourceLimit_ = 0;
    size_t entryBudget_ = kEntryBudget;
    bool resourceOrderReported_ = false;
    uint64_t manifestOffset_ = 0, manifestSize_ = 0;
    bool hasManifest_ = false;
};

bool Checker::readHeaders() {
    if (n_ < 0x40 || b_[0] != 'M' || b_[1] != 'Z') {
        fault("no MZ signature at the start of the file: not a Windows program");
        return false;
    }
    uint32_t lfanew = le32(0x3C);
    if (!fits(lfanew, 24, n_)) {
        fault("e_lfanew (" + hex(lfanew) + ") points past the end of the file (" + hex(n_) +
              " bytes): there is no PE header to load");
        return false;
    }
    if (le32(lfanew) != kPeSignature) {
        fault("no PE signature at e_lfanew (" + hex(lfanew) + "): not a Windows program");
        return false;
    }
    uint32_t sectionCount = le16(lfanew + 6);
    uint16_t optionalSize = le16(lfanew + 20);
    characteristics_ = le16(lfanew + 22);
    optional_ = lfanew + 24;
    if (!fits(optional_, optionalSize, n_) || optionalSize < 2) {
        fault("the optional header is cut short by the end of the file");
        return false;
    }
    uint16_t magic = le16(optional_);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        fault("the optional header's magic " + hex(magic) + " is neither PE32 (0x10B) nor PE32+ (0x20B)");
        return false;
    }
    pe32Plus_ = magic == kMagicPe32Plus;
    uint32_t countAt = pe32Plus_ ? 108 : 92;
    if (optionalSize < countAt + 4) {
        fault("the optional header (" + std::to_string(optionalSize) + " bytes) is too short for its fields");
        return false;
    }
    directoryCount_ = le32(optional_ + countAt);
    if (directoryCount_ > kDirectoryCount) directoryCount_ = kDirectoryCount;  // the loader reads no more
    directories_ = optional_ + countAt + 4;
    if (uint64_t(directoryCount_) * 8 > optionalSize - countAt - 4u) {
        fault("the optional header counts " + std::to_string(directoryCount_) +
              " data directories but has room for fewer");
        return false;
    }
    sectionAlignment_ = le32(optional_ + 32);
    fileAlignment_ = le32(optional_ + 36);
    sizeOfImage_ = le32(optional_ + 56);
    sizeOfHeaders_ = le32(optional_ + 60);

    bool fileSound = isPowerOfTwo(fileAlignment_) && fileAlignment_ >= kMinFileAlignment &&
                     fileAlignment_ <= kMaxFileAlignment;
    if (!fileSound) fault("FileAlignment " + hex(fileAlignment_) + " is not a power of two from 512 to 64 KiB");
    bool sectionSound = isPowerOfTwo(sectionAlignment_) && sectionAlignment_ >= fileAlignment_ &&
                        (sectionAlignment_ >= kPageSize || sectionAlignment_ == fileAlignment_);
    if (!sectionSound) {
        fault("SectionAlignment " + hex(sectionAlignment_) + " is not a power of two at least FileAlignment (" +
              hex(fileAlignment_) + "), and equal to it when below the 4 KiB page");
    }
    alignmentsSound_ = fileSound && sectionSound;

    uint64_t table = optional_ + optionalSize;
    if (sectionCount == 0 || sectionCount > kMaxSections) {
        fault("the image has " + std::to_string(sectionCount) + " sections; the loader maps 1 to 96");
        return false;
    }
    uint64_t tableEnd = table + 40 * uint64_t(sectionCount);
    if (!fits(table, tableEnd - table, n_)) {
        fault("the section table is cut short by the end of the file");
        return false;
    }
    if (sizeOfHeaders_ < tableEnd || sizeOfHeaders_ > n_) {
        fault("SizeOfHeaders " + hex(sizeOfHeaders_) + " does not cover the headers and section table (" +
              hex(tableEnd) + " bytes) within the file");
    } else if (fileSound && sizeOfHeaders_ % fileAlignment_ != 0) {
        fault("SizeOfHeaders " + hex(sizeOfHeaders_) + " is not a multiple of FileAlignment (" + hex(fileAlignment_) + ")");
    }
    for (uint32_t i = 0; i < sectionCount; ++i) {
        uint64_t h = table + 40 * uint64_t(i);
        std::string name(reinterpret_cast<const char*>(b_ + h), 8);
        name = name.substr(0, name.find('\0'));
        sections_.push_back({name, le32(h + 8), le32(h + 12), le32(h + 16), le32(h + 20)});
    }
    return true;
}

void Checker::checkLayout() {
    if (!alignmentsSound_) return;  // the addresses below mean nothing without them
    uint64_t expected = alignUp(sizeOfHeaders_, sectionAlignment_);
    std::string before = "the headers end";  // what lies before the next section
    for (const Section& s : sections_) {
        if (s.virtualAddress % sectionAlignment_ != 0) {
            fault("section " + s.name + " starts at RVA " + hex(s.virtualAddress) +
                  ", not a multiple of SectionAlignment (" + hex(sectionAlignment_) + ")");
        } else if (s.virtualAddress > expected) {
            fault("section " + s.name + " starts at RVA " + hex(s.virtualAddress) + ", but " + before + " at " +
                  hex(expected) + ": a gap of " + hex(s.virtualAddress - expected) +
                  " bytes that no section covers; the Windows loader refuses such an image "
                  "(\"not a valid Win32 application\")");
        } else if (s.virtualAddress < expected) {
            fault("section " + s.name + " starts at RVA " + hex(s.virtualAddress) + ", though " + before + " at " +
                  hex(expected) + ": sections must be in ascending order and adjacent");
        }
        expected = alignUp(s.end(), sectionAlignment_);
        before = "the section before it, " + s.name + ", ends";
        if (s.rawSize == 0) continue;
        if (s.rawPointer % fileAlignment_ != 0 || s.rawSize % fileAlignment_ != 0) {
            fault("section " + s.name + "'s data (file offset " + hex(s.rawPointer) + ", " + hex(s.rawSize) +
                  " bytes) is not aligned to FileAlignment (" + hex(fileAlignment_) + ")");
        }
        if (!fits(s.rawPointer, s.rawSize, n_)) {
            fault("section " + s.name + "'s data (file offset " + hex(s.rawPointer) + ", " + hex(s.rawSize) +
                  " bytes) extends past the end of the file (" + hex(n_) + " bytes)");
        } else if (s.rawPointer < sizeOfHeaders_) {
            fault("section " + s.name + "'s data (file offset " + hex(s.rawPointer) + ") lies inside the headers (" +
                  hex(sizeOfHeaders_) + " bytes)");
        }
    }
    if (sizeOfImage_ != expected) {
        fault("SizeOfImage is " + hex(sizeOfImage_) + ", but the sections end at " + hex(expected));
    }
}

void Checker::checkDirectories() {
    for (uint32_t d = 0; d < directoryCount_; ++d) {
        uint32_t rva, size;
        directory(d, rva, size);
        if (size == 0) continue;
        std::string what = std::string("the ") + kDirectoryNames[d] + " directory";
        if (d == kDirectorySecurity) {
            // A file offset: the certificates follow the sections' data.
            uint64_t dataEnd = sizeOfHeaders_;
            for (const Section& s : sections_) {
                if (s.rawSize) dataEnd = std::max<uint64_t>(dataEnd, uint64_t(s.rawPointer) + s.rawSize);
            }
            if (!fits(rva, size, n_) || rva < dataEnd || rva % 8 != 0) {
                fault(what + " (file offset " + hex(rva) + ", " + hex(size) + " bytes) does not lie, 8-byte "
                      "aligned, between the end of the sections' data (" + hex(dataEnd) + ") and the end of the file (" +
                      hex(n_) + ")");
            }
        } else if (!fits(rva, size, sizeOfImage_)) {
            fault(what + " (RVA " + hex(rva) + ", " + hex(size) + " bytes) lies outside the image (SizeOfImage " +
                  hex(sizeOfImage_) + ")");
        }
    }
}

void Checker::checkChecksum() {
    uint64_t field = optional_ + 64;
    uint32_t stored = le32(field);
    if (stored == 0) return;  // none claimed: the loader checks it only for drivers
    PeChecksum sum;
    static const uint8_t kZero[4] = {0, 0, 0, 0};
    sum.update(b_, field);
    sum.update(kZero, 4);
    sum.update(b_ + field + 4, n_ - field - 4);
    if (sum.finish() != stored) {
        fault("CheckSum " + hex(stored) + " does not match the file's contents (" + hex(sum.finish()) + ")");
    }
}

bool Checker::readResourceName(uint32_t field, std::u16string& name) {
    uint64_t at = field & ~kSubdirectoryFlag;
    if (!fits(at, 2, resourceLimit_) || !fits(at + 2, uint64_t(le16(resourceBase_ + at)) * 2, resourceLimit_)) {
        fault("a resource name at offset " + hex(at) + " lies outside the resource section");
        return false;
    }
    uint16_t units = le16(resourceBase_ + at);
    name.clear();
    for (uint16_t i = 0; i < units; ++i) name.push_back(static_cast<char16_t>(le16(resourceBase_ + at + 2 + 2 * i)));
    return true;
}

// One table of the resource tree: a 16-byte header (named entry count +12,
// numbered entry count +14), then 8-byte entries, the named ones first. The
// loader finds an entry by binary search: among the names, ascending by
// UTF-16 unit, then among the numbers, ascending.
bool Checker::readTable(uint32_t offset, int level, uint16_t typeId, uint16_t nameId) {
    if (!fits(offset, 16, resourceLimit_)) {
        fault("a resource table (offset " + hex(offset) + ") lies outside the resource section");
        return false;
    }
    uint32_t named = le16(resourceBase_ + offset + 12), numbered = le16(resourceBase_ + offset + 14);
    if (!fits(offset + 16, 8 * uint64_t(named + numbered), resourceLimit_)) {
        fault("the entries of a resource table (offset " + hex(offset) + ") lie outside the resource section");
        return false;
    }
    std::u16string previousName;
    uint32_t previousId = 0;
    for (uint32_t i = 0; i < named + numbered; ++i) {
        if (entryBudget_-- == 0) {
            fault("the resource tree has more than 65536 entries");
            return false;
        }
        uint64_t entry = resourceBase_ + offset + 16 + 8 * uint64_t(i);
        uint32_t nameField = le32(entry), target = le32(entry + 4);
        bool isName = (nameField & kSubdirectoryFlag) != 0;
        if (isName != (i < named)) {
            fault(std::string("a resource ") + kLevelNames[level] + " table (offset " + hex(offset) + ") counts " +
                  std::to_string(named) + " named entries, but entry " + std::to_string(i + 1) + " is " +
                  (isName ? "a name" : "a number") + "; the loader's search would miss entries");
            return false;
        }
        uint16_t id = 0;
        if (isName) {
            std::u16string name;
            if (!readResourceName(nameField, name)) return false;
            if (i > 0 && !(previousName < name) && !resourceOrderReported_) {
                fault(std::string("the resource ") + kLevelNames[level] + " names " + shownName(previousName) + " and " +
                      shownName(name) + " are not in ascending order; the loader's binary search would miss one");
                resourceOrderReported_ = true;
            }
            previousName = name;
        } else {
            if (nameField > 0xFFFF) {
                fault("a resource number (" + hex(nameField) + ") does not fit 16 bits");
                return false;
            }
            id = static_cast<uint16_t>(nameField);
            if (i > named && id <= previousId && !resourceOrderReported_) {
                fault(std::string("the resource ") + kLevelNames[level] + " numbers " + std::to_string(previousId) +
                      " and " + std::to_string(id) + " are not in ascending order; the loader's binary search "
                      "would miss one");
                resourceOrderReported_ = true;
            }
            previousId = id;
        }
        bool subdirectory = (target & kSubdirectoryFlag) != 0;
        if (subdirectory != (level < 2)) {
            fault("the resource tree is not three levels deep (type, name, language)");
            return false;
        }
        if (level == 0 && !readTable(target & ~kSubdirectoryFlag, 1, isName ? 0 : id, 0)) return false;
        if (level == 1 && !readTable(target & ~kSubdirectoryFlag, 2, typeId, isName ? 0 : id)) return false;
        if (level < 2) continue;
        // A data entry: RVA +0, size +4, code page +8.
        if (!fits(target, 16, resourceLimit_)) {
            fault("a resource data entry (offset " + hex(target) + ") lies outside the resource section");
            return false;
        }
        uint32_t rva = le32(resourceBase_ + target), size = le32(resourceBase_ + target + 4);
        const Section& home = *resourceHome_;
        if (rva < home.virtualAddress || !fits(rva - home.virtualAddress, size, home.span())) {
            fault("the data of resource type " + std::to_string(typeId) + ", name " + std::to_string(nameId) +
                  " (RVA " + hex(rva) + ", " + hex(size) + " bytes) lies outside the resource section " + home.name);
            continue;
        }
        uint64_t at = 0;
        if (typeId == kResourceManifest && nameId == kProcessManifest && !hasManifest_ && fileOffset(rva, size, at)) {
            hasManifest_ = true;
            manifestOffset_ = at;
            manifestSize_ = size;
        }
    }
    return true;
}

void Checker::checkResources() {
    uint32_t rva, size;
    directory(kDirectoryResources, rva, size);
    if (size == 0) return;
    resourceHome_ = sectionOf(rva, size);
    uint64_t base = 0;
    if (!resourceHome_ || !fileOffset(rva, 16, base)) {
        fault("the resource directory (RVA " + hex(rva) + ", " + hex(size) + " bytes) is not inside one section's data");
        return;
    }
    resourceBase_ = base;
    uint64_t skip = rva - resourceHome_->virtualAddress;
    resourceLimit_ = std::min<uint64_t>(resourceHome_->rawSize - skip, n_ - base);
    readTable(0, 0, 0, 0);
}

void Checker::checkRelocations() {
    uint32_t rva, size;
    directory(kDirectoryRelocations, rva, size);
    if (size == 0) return;
    uint64_t at = 0;
    if (!fileOffset(rva, size, at)) {
        fault("the base relocations (RVA " + hex(rva) + ", " + hex(size) + " bytes) are not inside one section's data");
        return;
    }
    const uint16_t wanted = pe32Plus_ ? kRelocationDir64 : kRelocationHighLow;
    const uint32_t width = pe32Plus_ ? 8 : 4;
    for (uint64_t block = 0; block < size;) {
        if (size - block < 8) {
            fault("the base relocations end with " + std::to_string(size - block) + " bytes too few for a block");
            return;
        }
        uint32_t page = le32(at + block), blockSize = le32(at + block + 4);
        if (blockSize < 8 || blockSize % 2 != 0 || blockSize > size - block) {
            fault("the base relocation block at offset " + hex(block) + " claims " + hex(blockSize) +
                  " bytes, which do not fit the relocations");
            return;
        }
        for (uint64_t e = 8; e + 2 <= blockSize; e += 2) {
            uint16_t entry = le16(at + block + e);
            uint16_t type = entry >> 12;
            uint64_t target = uint64_t(page) + (entry & 0xFFF);
            if (type == kRelocationAbsolute) continue;
            if (type != wanted) {
                fault("a base relocation at RVA " + hex(target) + " has type " + std::to_string(type) + "; the loader "
                      "applies only type " + std::to_string(wanted) + " to " + (pe32Plus_ ? "a PE32+" : "a PE32") +
                      " image");
                return;
            }
            if (!sectionOf(target, width)) {
                fault("a base relocation at RVA " + hex(target) + " points outside every section");
                return;
            }
        }
        block += blockSize;
    }
}

// The level attribute of the manifest's requestedExecutionLevel element, read
// from its UTF-8 text: the element's name, with or without a namespace
// prefix, then its attributes up to the closing '>'.
bool executionLevel(const char* text, size_t size, std::string& level) {
    static const char kElement[] = "requestedExecutionLevel";
    const size_t elementLength = sizeof kElement - 1;
    std::string xml(text, size);
    for (size_t at = xml.find(kElement); at != std::string::npos; at = xml.find(kElement, at + 1)) {
        if (at == 0 || (xml[at - 1] != '<' && xml[at - 1] != ':')) continue;
        size_t end = xml.find('>', at);
        if (end == std::string::npos) return false;
        std::string attributes = xml.substr(at + elementLength, end - at - elementLength);
        for (size_t p = attributes.find("level"); p != std::string::npos; p = attributes.find("level", p + 1)) {
            bool separated = p > 0 && (attributes[p - 1] == ' ' || attributes[p - 1] == '\t' ||
                                       attributes[p - 1] == '\r' || attributes[p - 1] == '\n');
            size_t q = p + 5;
            while (q < attributes.size() && attributes[q] == ' ') ++q;
            if (!separated || q >= attributes.size() || attributes[q] != '=') continue;
            ++q;
            while (q < attributes.size() && attributes[q] == ' ') ++q;
            if (q >= attributes.size() || (attributes[q] != '"' && attributes[q] != '\'')) return false;
            size_t close = attributes.find(attributes[q], q + 1);
            if (close == std::string::npos) return false;
            level = attributes.substr(q + 1, close - q - 1);
            return true;
        }
        return false;
    }
    return false;
}

void Checker::checkManifest() {
    if (characteristics_ & kImageDll) return;  // a library runs with its process's rights
    if (!hasManifest_) {
        fault("the program has no manifest (resource type 24, number 1), so it asks for no execution level: "
              "Windows then guesses from its name whether it needs elevation, and may run it with its writes "
              "redirected");
        return;
    }
    std::string level;
    if (!executionLevel(reinterpret_cast<const char*>(b_ + manifestOffset_), manifestSize_, level)) {
        fault("the program's manifest has no requestedExecutionLevel with a level, so Windows guesses whether "
              "it needs elevation");
        return;
    }
    if (level != "asInvoker" && level != "highestAvailable" && level != "requireAdministrator") {
        fault("the manifest's requestedExecutionLevel is \"" + level + "\", not asInvoker, highestAvailable or "
              "requireAdministrator: Windows refuses to start the program");
        return;
    }
    report_.executionLevel = level;
}

}  // namespace

bool checkImageRules(const uint8_t* data, size_t size, ImageReport& report) {
    report = ImageReport();
    Checker checker(data, size, report);
    return checker.run();
}

bool checkImageRulesFile(const std::string& path, ImageReport& report, std::string& error) {
    report = ImageReport();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        close(fd);
        return false;
    }
    size_t size = static_cast<size_t>(st.st_size);
    if (size == 0) {
        close(fd);
        checkImageRules(nullptr, 0, report);
        return true;
    }
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    int mapErrno = errno;
    close(fd);
    if (mapped == MAP_FAILED) {
        error = "cannot read: " + std::string(std::strerror(mapErrno));
        return false;
    }
    checkImageRules(static_cast<const uint8_t*>(mapped), size, report);
    munmap(mapped, size);
    return true;
}
