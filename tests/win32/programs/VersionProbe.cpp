// Reads a file's version record as the installer does, from a folder that
// may hold a planted version.dll.
//   version-probe FILE    exit code major * 100 + minor, 0 when unread
//   version-probe plain   99 when a plain LoadLibrary takes the planted DLL
#include <windows.h>

#include <string.h>

#include "registration/Registration.h"

int main(int argc, char** argv) {
    if (argc != 2) return 1;
    if (strcmp(argv[1], "plain") == 0) {
        HMODULE module = LoadLibraryA("version.dll");
        return module && GetProcAddress(module, "plantedMarker") ? 99 : 2;
    }
    unsigned major = 0;
    unsigned minor = 0;
    return readVersionInfo(argv[1], nullptr, &major, &minor) ? static_cast<int>(major * 100 + minor) : 0;
}
