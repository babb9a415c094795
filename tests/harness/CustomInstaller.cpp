#include "CustomInstaller.h"

#include <new>

#include "common/Scoped.h"

namespace {

const LPCSTR kDataType = MAKEINTRESOURCEA(10);  // RT_RCDATA

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what + " (error " + std::to_string(GetLastError()) + ")";
    return false;
}

// The executable loaded as data only: no code runs, nothing is resolved.
class DataModule {
public:
    explicit DataModule(const std::string& file)
        : module_(LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() { if (module_) FreeLibrary(module_); }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// A resource type or name: a number or a text.
struct ResourceName {
    WORD id = 0;
    std::string text;

    explicit ResourceName(LPCSTR name) {
        if (IS_INTRESOURCE(name)) id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
        else text = name;
    }
    LPCSTR get() const { return text.empty() ? MAKEINTRESOURCEA(id) : text.c_str(); }
};

struct Resource {
    ResourceName type;
    ResourceName name;
    WORD language;
    std::string bytes;
};

struct Collection {
    std::vector<Resource> resources;
};

BOOL CALLBACK collectLanguageOf(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) {
    HRSRC found = FindResourceExA(module, type, name, language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) return FALSE;
    reinterpret_cast<Collection*>(param)->resources.push_back(
        {ResourceName(type), ResourceName(name), language, std::string(bytes, SizeofResource(module, found))});
    return TRUE;
}

BOOL CALLBACK collectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    return EnumResourceLanguagesA(module, type, name, collectLanguageOf, param);
}

BOOL CALLBACK collectType(HMODULE module, LPSTR type, LONG_PTR param) {
    return EnumResourceNamesA(module, type, collectName, param);
}

bool isChanged(const Resource& resource, const std::vector<ResourceChange>& changes) {
    if (!resource.type.text.empty() || resource.type.id != 10 || !resource.name.text.empty()) return false;
    for (const ResourceChange& change : changes) {
        if (change.id == resource.name.id && change.language == resource.language) return true;
    }
    return false;
}

}  // namespace

// Every resource is written anew (BeginUpdateResourceA deleting the existing
// ones): Wine does not remove a resource through UpdateResourceA with no data.
bool makeInstaller(const std::string& source, const std::string& destination,
                   const std::vector<ResourceChange>& changes, std::string* error) {
    Collection collection;
    {
        DataModule module(source);
        if (!module.get()) return fail(error, "cannot load " + source);
        if (!EnumResourceTypesA(module.get(), collectType, reinterpret_cast<LONG_PTR>(&collection))) {
            return fail(error, "cannot read the resources of " + source);
        }
    }
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(source.c_str(), destination.c_str(), FALSE)) return fail(error, "cannot copy " + source);
    HANDLE update = BeginUpdateResourceA(destination.c_str(), TRUE);
    if (!update) return fail(error, "cannot open the resources of " + destination);
    auto write = [&](LPCSTR type, LPCSTR name, WORD language, const std::string& bytes) {
        return UpdateResourceA(update, type, name, language, const_cast<char*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())) != 0;
    };
    bool written = true;
    for (const Resource& resource : collection.resources) {
        if (isChanged(resource, changes)) continue;
        written = written && write(resource.type.get(), resource.name.get(), resource.language, resource.bytes);
    }
    for (const ResourceChange& change : changes) {
        if (!change.remove) written = written && write(kDataType, MAKEINTRESOURCEA(change.id), change.language, change.bytes);
    }
    if (!written) {
        EndUpdateResourceA(update, TRUE);
        return fail(error, "cannot queue the resources of " + destination);
    }
    if (!EndUpdateResourceA(update, FALSE)) return fail(error, "cannot write the resources of " + destination);
    return true;
}

namespace {

// A resource read from the file with ReadFile at offsets, never by loading
// the image: another process cannot map an installer of about 600 MB or more
// as a data file (its address space has no free block that large), and the
// reader must not trust the file either. Layout, all little-endian:
//   DOS header: "MZ"; at 0x3C the offset of the PE header.
//   PE header: "PE\0\0", then the file header (20 bytes: section count at
//     2, optional header size at 16), then the optional header (magic 0x10B
//     for PE32, 0x20B for PE32+; the data directory count at 92 or 108, the
//     directories from 96 or 112, 8 bytes each: RVA and size; the resource
//     directory is the third), then the section table (40 bytes per section:
//     virtual size at 8, RVA at 12, raw size at 16, raw offset at 20).
//   Resource directory (at its RVA): a table of 16 bytes (named-entry count
//     at 12, id-entry count at 14) and its entries, 8 bytes each: the name
//     (high bit: a text, else the id) and the offset, from the start of the
//     resource directory, of a subtable (high bit set) or of a data entry.
//     Three levels: type, name, language.
//   Data entry: the data's RVA, its size, its code page.
// Every offset is checked against the file's size before it is read; an RVA
// counts only inside a section's raw data.
class ImageFile {
public:
    explicit ImageFile(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        LARGE_INTEGER size = {};
        if (file_.isValid() && GetFileSizeEx(file_.get(), &size)) size_ = static_cast<uint64_t>(size.QuadPart);
    }

    // `count` bytes at `offset` into `out`; false when they are not all there.
    bool read(uint64_t offset, void* out, DWORD count) const {
        if (!file_.isValid() || offset > size_ || count > size_ - offset) return false;
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        return ReadFile(file_.get(), out, count, &got, &at) && got == count;
    }
    bool u16(uint64_t offset, uint32_t& value) const {
        uint8_t b[2];
        if (!read(offset, b, sizeof b)) return false;
        value = b[0] | (b[1] << 8);
        return true;
    }
    bool u32(uint64_t offset, uint32_t& value) const {
        uint8_t b[4];
        if (!read(offset, b, sizeof b)) return false;
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }

private:
    ScopedHandle file_;
    uint64_t size_ = 0;
};

constexpr uint32_t kPe32Magic = 0x10B;
constexpr uint32_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kHighBit = 0x80000000u;

struct Section {
    uint32_t rva = 0;
    uint32_t virtualSize = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

// The image's sections and its resource directory's RVA; false when the
// headers are not a PE image's or the image has no resources.
bool readLayout(const ImageFile& image, std::vector<Section>& sections, uint32_t& resourceRva) {
    uint32_t mz = 0, peOffset = 0, signature = 0, sectionCount = 0, optionalSize = 0, magic = 0;
    if (!image.u16(0, mz) || mz != 0x5A4D || !image.u32(0x3C, peOffset)) return false;
    if (!image.u32(peOffset, signature) || signature != 0x00004550) return false;
    const uint64_t fileHeader = uint64_t(peOffset) + 4;
    const uint64_t optional = fileHeader + 20;
    if (!image.u16(fileHeader + 2, sectionCount) || !image.u16(fileHeader + 16, optionalSize)) return false;
    if (!image.u16(optional, magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) return false;
    const uint32_t countAt = magic == kPe32Magic ? 92 : 108;
    const uint32_t directoriesAt = countAt + 4;
    uint32_t directoryCount = 0, resourceSize = 0;
    if (!image.u32(optional + countAt, directoryCount) || directoryCount <= kResourceDirectoryIndex) return false;
    const uint32_t resourceAt = directoriesAt + 8 * kResourceDirectoryIndex;
    if (resourceAt + 8 > optionalSize) return false;
    if (!image.u32(optional + resourceAt, resourceRva) || !image.u32(optional + resourceAt + 4, resourceSize)) {
        return false;
    }
    if (resourceRva == 0 || resourceSize == 0) return false;
    const uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = table + uint64_t(i) * kSectionHeaderSize;
        Section section;
        if (!image.u32(at + 8, section.virtualSize) || !image.u32(at + 12, section.rva) ||
            !image.u32(at + 16, section.rawSize) || !image.u32(at + 20, section.rawOffset)) {
            return false;
        }
        sections.push_back(section);
    }
    return true;
}

// The file offset of `size` bytes at `rva`, when they all lie in one
// section's raw data.
bool fileOffset(const std::vector<Section>& sections, uint64_t rva, uint32_t size, uint64_t& offset) {
    if (rva > 0xFFFFFFFFu) return false;
    for (const Section& section : sections) {
        if (rva < section.rva) continue;
        const uint64_t into = rva - section.rva;
        const uint32_t inImage = section.rawSize < section.virtualSize || section.virtualSize == 0
                                     ? section.rawSize : section.virtualSize;
        if (into >= inImage || size > inImage - into) continue;
        offset = uint64_t(section.rawOffset) + into;
        return true;
    }
    return false;
}

// In the directory table at `table` (a file offset), the entry with id `id`;
// with `firstIfMissing`, the first id entry when none has that id. Gives
// the entry's offset field.
bool findEntry(const ImageFile& image, uint64_t table, uint32_t id, bool firstIfMissing, uint32_t& target) {
    uint32_t named = 0, ids = 0;
    if (!image.u16(table + 12, named) || !image.u16(table + 14, ids)) return false;
    bool haveFirst = false;
    uint32_t first = 0;
    for (uint32_t i = named; i < named + ids; ++i) {
        uint32_t name = 0, offset = 0;
        const uint64_t entry = table + 16 + uint64_t(i) * 8;
        if (!image.u32(entry, name) || !image.u32(entry + 4, offset)) return false;
        if (name & kHighBit) continue;
        if (name == id) { target = offset; return true; }
        if (!haveFirst) { first = offset; haveFirst = true; }
    }
    if (!firstIfMissing || !haveFirst) return false;
    target = first;
    return true;
}

}  // namespace

std::optional<std::string> readDataResource(const std::string& file, WORD id, WORD language) {
    ImageFile image(file);
    std::vector<Section> sections;
    uint32_t resourceRva = 0;
    uint64_t root = 0;
    if (!readLayout(image, sections, resourceRva) || !fileOffset(sections, resourceRva, 16, root)) return std::nullopt;
    // Each level names a subtable (high bit) at an offset from the root,
    // which must itself lie in the image; the language level names a data
    // entry. A neutral language takes the first stored one when there is no
    // neutral entry, as the platform's lookup does.
    uint32_t typeTable = 0, nameTable = 0, leaf = 0;
    uint64_t at = 0;
    auto subtable = [&](uint32_t offset, uint64_t& where) {
        return (offset & kHighBit) && fileOffset(sections, uint64_t(resourceRva) + (offset & ~kHighBit), 16, where);
    };
    if (!findEntry(image, root, 10, false, typeTable) || !subtable(typeTable, at)) return std::nullopt;
    if (!findEntry(image, at, id, false, nameTable) || !subtable(nameTable, at)) return std::nullopt;
    if (!findEntry(image, at, language, language == kNeutralLanguage, leaf) || (leaf & kHighBit)) return std::nullopt;
    uint64_t dataEntry = 0, data = 0;
    uint32_t dataRva = 0, size = 0;
    if (!fileOffset(sections, uint64_t(resourceRva) + leaf, 16, dataEntry) || !image.u32(dataEntry, dataRva) ||
        !image.u32(dataEntry + 4, size) || !fileOffset(sections, dataRva, size, data)) {
        return std::nullopt;
    }
    std::string bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (size != 0 && !image.read(data, &bytes[0], size)) return std::nullopt;
    return bytes;
}

namespace {

// Languages are listed through the platform's loader (small files only).
BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

}  // namespace

std::vector<WORD> resourceLanguages(const std::string& file, LPCSTR type, WORD id) {
    std::vector<WORD> languages;
    DataModule module(file);
    if (module.get()) {
        EnumResourceLanguagesA(module.get(), type, MAKEINTRESOURCEA(id), collectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
    }
    return languages;
}

std::vector<WORD> dataResourceLanguages(const std::string& file, WORD id) {
    return resourceLanguages(file, kDataType, id);
}
