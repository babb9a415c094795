#include "registration/RegistryKey.h"

#include <string.h>

namespace {

// Access of the keys opened while a tree is deleted: enough to enumerate
// their subkeys and delete them (KEY_READ | KEY_WRITE).
constexpr REGSAM kTreeAccess = 0x2001F;
// Subkey names longer than this (terminator included) end the enumeration;
// the key holding them is then not empty and its deletion fails.
constexpr DWORD kSubKeyNameSize = 256;

}  // namespace

LONG RegistryKey::close() {
    if (!key_) return ERROR_SUCCESS;
    HKEY key = key_;
    key_ = nullptr;
    return RegCloseKey(key);
}

LONG RegistryKey::open(HKEY parent, const char* subKey, REGSAM access) {
    HKEY opened = nullptr;
    LONG code = RegOpenKeyExA(parent, subKey, 0, access, &opened);
    if (code != ERROR_SUCCESS) return code;
    code = close();
    key_ = opened;
    return code;
}

LONG RegistryKey::create(HKEY parent, const char* subKey, char* className, DWORD options,
                         REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition) {
    HKEY created = nullptr;
    LONG code = RegCreateKeyExA(parent, subKey, 0, className, options, access, security,
                                &created, disposition);
    if (code != ERROR_SUCCESS) return code;
    code = close();
    key_ = created;
    return code;
}

LONG RegistryKey::queryValue(void* buffer, const char* name, DWORD* size) {
    if (!key_) return ERROR_INVALID_HANDLE;
    DWORD type = 0;
    return RegQueryValueExA(key_, name, nullptr, &type, static_cast<BYTE*>(buffer), size);
}

LONG RegistryKey::enumerateSubKey(DWORD index, char* name, DWORD size) {
    if (!key_) return ERROR_INVALID_HANDLE;
    return RegEnumKeyExA(key_, index, name, &size, nullptr, nullptr, nullptr, nullptr);
}

LONG RegistryKey::setDwordValue(DWORD value, const char* name) {
    if (!key_) return ERROR_INVALID_HANDLE;
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

LONG RegistryKey::setStringValue(const char* text, const char* name) {
    if (!key_) return ERROR_INVALID_HANDLE;
    if (!text) return ERROR_INVALID_PARAMETER;
    DWORD bytes = static_cast<DWORD>(strlen(text) + 1);
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

LONG RegistryKey::deleteSubKey(const char* subKey) {
    if (!key_) return ERROR_INVALID_HANDLE;
    return RegDeleteKeyA(key_, subKey);
}

// Each pass enumerates index 0: the subkey found there is gone before the
// next pass, and one that cannot be deleted ends the whole operation, so the
// loop never meets the same name twice.
LONG RegistryKey::deleteSubTree(const char* subKey) {
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    if (!key_) return ERROR_INVALID_HANDLE;
    RegistryKey child;
    LONG code = child.open(key_, subKey, kTreeAccess);
    if (code != ERROR_SUCCESS) return code;
    for (;;) {
        char name[kSubKeyNameSize];
        DWORD length = kSubKeyNameSize;
        FILETIME written;
        if (RegEnumKeyExA(child.key_, 0, name, &length, nullptr, nullptr, nullptr, &written) !=
            ERROR_SUCCESS) {
            break;
        }
        code = child.deleteSubTree(name);
        if (code != ERROR_SUCCESS) return code;
    }
    child.close();
    return deleteSubKey(subKey);
}
