#pragma once
// Windows executables (PE32 and PE32+) on the build machine: the facts other
// tools ask about (kind, subsystem, fixed version record), the resource tree
// read into leaves, and a new resource section written in place of the old
// one. Portable C++; nothing here runs on Windows.
//
// Only the resource section and what follows it move when the section is
// rewritten, so the only sections allowed after it are those that nothing
// addresses but a data directory we fix (the base relocations). A signed file,
// data after the last section or a debug symbol table are refused for
// writing: they would be lost or left pointing at the wrong bytes.
#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

using ByteVector = std::vector<uint8_t>;

// Resource types as the platform numbers them.
constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceRcData = 10;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;
constexpr uint16_t kLanguageNeutral = 0;

// Subsystem values of the optional header.
constexpr uint16_t kSubsystemGui = 2;
constexpr uint16_t kSubsystemConsole = 3;

// COFF characteristics: the image may use addresses above 2 GiB.
constexpr uint16_t kLargeAddressAware = 0x0020;

enum class PeKind { NotPe, Pe32, Pe32Plus };

// A resource type or name: a number or a UTF-16 text.
struct ResourceName {
    bool isId = true;
    uint16_t id = 0;
    std::u16string text;

    static ResourceName number(uint16_t value) { return {true, value, {}}; }
    bool operator==(const ResourceName& o) const { return isId == o.isId && (isId ? id == o.id : text == o.text); }
    bool operator!=(const ResourceName& o) const { return !(*this == o); }
    // Texts before numbers, texts by their units, numbers ascending: the
    // order entries take in a resource directory.
    bool operator<(const ResourceName& o) const;
};

// One resource: type, name and language, and its bytes.
struct ResourceLeaf {
    ResourceName type;
    ResourceName name;
    uint16_t language = kLanguageNeutral;
    uint32_t codePage = 0;
    std::shared_ptr<const ByteVector> data;
};

// The fixed version record: each version as four 16-bit parts, most
// significant first (1.2.3.4 is 0x0001000200030004).
struct FixedVersion {
    uint64_t fileVersion = 0;
    uint64_t productVersion = 0;
};

// What a check asks of an executable.
struct PeFacts {
    PeKind kind = PeKind::NotPe;
    uint16_t subsystem = 0;
    bool hasVersion = false;  // a version resource with a fixed record
    FixedVersion version;
};

// Reads the facts of an executable held in memory or in a file. A file that
// is not a PE image gives true with kind NotPe; false (with a reason) only
// when it cannot be read, or claims to be a PE image and is malformed.
bool readPeFacts(const uint8_t* data, size_t size, PeFacts& facts, std::string& error);
bool readPeFactsFile(const std::string& path, PeFacts& facts, std::string& error);

// The fixed record of a version resource's bytes; false when it has none.
bool readFixedVersion(const uint8_t* data, size_t size, FixedVersion& version);

// An image laid out for writing: pieces of bytes in file order, the PE
// checksum already in its field.
struct PeOutput {
    std::vector<std::pair<const uint8_t*, size_t>> pieces;
    std::vector<std::shared_ptr<const ByteVector>> owned;  // keeps the pieces alive
    uint64_t fileSize = 0;
    uint32_t sizeOfImage = 0;  // the address space the loader reserves

    // Writes the image to `path` unless the file already holds exactly these
    // bytes (then it is left untouched, time included). The new file is
    // written beside it and renamed over it. `changed` says which happened.
    bool writeIfChanged(const std::string& path, bool& changed, std::string& error) const;
};

// The PE checksum as the platform computes it: the 16-bit one's-complement
// style sum of the file (checksum field taken as zero), plus the file size.
class PeChecksum {
public:
    void update(const uint8_t* data, size_t size);
    uint32_t finish() const;  // the checksum of everything given so far

private:
    uint32_t sum_ = 0;
    uint64_t length_ = 0;
    bool odd_ = false;  // a byte waits for its high half
    uint8_t pending_ = 0;
};

class PeImage {
public:
    // Takes the whole file. False, with a reason, when it is not a PE image
    // or its headers or resource tree are malformed.
    bool parse(std::shared_ptr<const ByteVector> bytes, std::string& error);
    bool load(const std::string& path, std::string& error);

    PeKind kind() const { return kind_; }
    uint16_t subsystem() const { return subsystem_; }
    uint16_t characteristics() const { return characteristics_; }
    uint32_t sizeOfImage() const { return sizeOfImage_; }
    uint32_t storedChecksum() const { return checksum_; }
    bool isSigned() const { return certificateSize_ != 0; }

    const std::vector<ResourceLeaf>& resources() const { return leaves_; }
    // The leaf of this type and name in `language`, or, when it has none, in
    // any language; null when there is no such resource.
    const ResourceLeaf* find(const ResourceName& type, const ResourceName& name,
                             uint16_t language = kLanguageNeutral) const;
    // Replaces the leaf of the same type, name and language, or adds it.
    void setResource(ResourceLeaf leaf);
    // Removes every language of this type and name.
    void removeResource(const ResourceName& type, const ResourceName& name);
    void setCharacteristics(uint16_t value) { characteristics_ = value; }

    // Lays out the image with a new resource section holding resources(),
    // with the headers fixed (resource and relocation directories, section
    // table, SizeOfInitializedData, SizeOfImage, CheckSum). False, with a
    // reason, when this image cannot be rewritten safely.
    bool layout(PeOutput& out, std::string& error) const;

private:
    struct Section {
        uint32_t headerOffset;
        uint32_t virtualSize;
        uint32_t virtualAddress;
        uint32_t rawSize;
        uint32_t rawPointer;
        uint32_t flags;
    };
    bool parseHeaders(std::string& error);
    bool parseResources(std::string& error);
    bool readDirectory(uint32_t offset, int level, ResourceLeaf& path, std::string& error);
    bool readName(uint32_t field, ResourceName& name, std::string& error) const;
    // File offset of `size` bytes at `rva`, inside one section's raw data.
    bool rvaToOffset(uint32_t rva, uint32_t size, uint32_t& offset) const;
    bool checkRewritable(size_t& resourceIndex, std::string& error) const;
    ByteVector buildResourceSection(uint32_t sectionRva, std::vector<std::pair<uint32_t, const ByteVector*>>& data,
                                    uint32_t& size) const;

    std::shared_ptr<const ByteVector> bytes_;
    PeKind kind_ = PeKind::NotPe;
    uint32_t peOffset_ = 0;
    uint32_t optionalOffset_ = 0;
    uint32_t directoriesOffset_ = 0;
    uint32_t directoryCount_ = 0;
    uint32_t sectionTableOffset_ = 0;
    uint16_t characteristics_ = 0;
    uint16_t subsystem_ = 0;
    uint32_t sectionAlignment_ = 0;
    uint32_t fileAlignment_ = 0;
    uint32_t sizeOfImage_ = 0;
    uint32_t checksum_ = 0;
    uint32_t symbolTable_ = 0;
    uint32_t certificateSize_ = 0;
    uint32_t resourceRva_ = 0;
    uint32_t resourceSize_ = 0;
    uint32_t resourceBase_ = 0;   // file offset of the resource directory
    uint32_t resourceLimit_ = 0;  // bytes of it readable from the file
    size_t leafBudget_ = 0;
    uint64_t copyBudget_ = 0;  // bytes the leaves may still copy: the file's size in all
    std::vector<Section> sections_;
    std::vector<ResourceLeaf> leaves_;
};
