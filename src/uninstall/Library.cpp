// The two calls of libsetup-uninstall.a: they write the helper, whose bytes
// the library carries, into the temp folder and start it for this program.
#include <windows.h>

#include "uninstall/Launcher.h"
#include "uninstall/setup-uninstall.h"

// setup-uninstall.exe as built, generated into the build folder.
extern "C" const unsigned char setupUninstallHelperImage[];
extern "C" const unsigned long setupUninstallHelperSize;

namespace {

int uninstall(bool quiet) {
    WCHAR program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return SETUP_UNINSTALL_FAILED;
    return startRemover(systemLaunchPlatform(), setupUninstallHelperImage, setupUninstallHelperSize, program, quiet, nullptr);
}

}  // namespace

extern "C" int setupUninstall(void) { return uninstall(false); }
extern "C" int setupUninstallQuiet(void) { return uninstall(true); }
