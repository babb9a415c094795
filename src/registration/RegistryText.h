#pragma once
// Reading a registry value as a terminated text.
#include "registration/RegistryKey.h"

// The uninstall entry of the program named by the argument, below
// HKEY_LOCAL_MACHINE. One definition for the whole program (inline), so that
// the text is stored once in setup.exe.
inline constexpr char kUninstallKeyFormat[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";

// Reads value `name` of the held key into `buffer` and makes sure it is
// terminated (the registry does not promise a terminator). A value that does
// not fit with its terminator counts as unreadable. The type is not examined.
inline bool queryTextValue(RegistryKey& key, const char* name, char* buffer, DWORD capacity) {
    DWORD size = capacity;
    if (key.queryValue(buffer, name, &size) != ERROR_SUCCESS) return false;
    if (size > 0 && buffer[size - 1] == '\0') return true;
    if (size >= capacity) return false;
    buffer[size] = '\0';
    return true;
}
