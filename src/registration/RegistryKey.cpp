// Not built yet: every operation fails safely.
#include "registration/RegistryKey.h"

LONG RegistryKey::close() { return 0; }
LONG RegistryKey::open(HKEY, const char*, REGSAM) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegistryKey::create(HKEY, const char*, char*, DWORD, REGSAM, SECURITY_ATTRIBUTES*, DWORD*) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegistryKey::queryValue(void*, const char*, DWORD*) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegistryKey::setDwordValue(DWORD, const char*) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegistryKey::setStringValue(const char*, const char*) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegistryKey::deleteSubKey(const char*) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegistryKey::deleteSubTree(const char*) { return ERROR_CALL_NOT_IMPLEMENTED; }
