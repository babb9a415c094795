#pragma once
// The one way the installer touches the registry: an owner of at most one
// open key. Every operation returns the platform's code (0 = ERROR_SUCCESS).
#include <windows.h>

class RegistryKey {
public:
    RegistryKey() : key_(nullptr) {}
    ~RegistryKey() { close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes the held key, if any; 0 when none was held.
    LONG close();

    // Opens `subKey` below `parent` (null or empty: the parent itself). On
    // success the previously held key is closed and the new one held; on
    // failure the held key stays.
    LONG open(HKEY parent, const char* subKey, REGSAM access);

    // Creates or opens `subKey`; otherwise as open(). `disposition` (may be
    // null) receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
    LONG create(HKEY parent, const char* subKey, char* className, DWORD options,
                REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition);

    // Reads a value (null name: the default value) into `buffer`; `size` is
    // the capacity in, the bytes stored out. The value's type is not examined.
    LONG queryValue(void* buffer, const char* name, DWORD* size);

    LONG setDwordValue(DWORD value, const char* name);
    // Stores `text` and its terminator as REG_SZ (null name: default value).
    LONG setStringValue(const char* text, const char* name);

    LONG deleteSubKey(const char* subKey);
    // The name of the held key's subkey number `index` (0, 1, ...) into
    // `name` of `size` bytes; ERROR_NO_MORE_ITEMS after the last.
    LONG enumerateSubKey(DWORD index, char* name, DWORD size);
    // Deletes `subKey` and every key below it, deepest first; stops at the
    // first failure and returns its code. An empty or null name would mean
    // the held key itself: refused with ERROR_INVALID_PARAMETER.
    LONG deleteSubTree(const char* subKey);

    HKEY get() const { return key_; }

private:
    HKEY key_;
};

// Access used for every open and create by the installer, also for reads.
constexpr REGSAM kKeyAllAccess = 0xF003F;
