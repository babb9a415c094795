#include "CustomInstaller.h"

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

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
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

std::optional<std::string> readDataResource(const std::string& file, WORD id, WORD language) {
    DataModule module(file);
    if (!module.get()) return std::nullopt;
    HRSRC found = FindResourceExA(module.get(), kDataType, MAKEINTRESOURCEA(id), language);
    if (!found) return std::nullopt;
    HGLOBAL loaded = LoadResource(module.get(), found);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) return std::nullopt;
    return std::string(bytes, SizeofResource(module.get(), found));
}

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
