/* A small vendor's program, built twice by tests/build/check-uninstall.sh:
 * once as it is, once calling the uninstall library on "-u" (WITH_UNINSTALL).
 * The difference in size is what the library adds to a program. */
#include <windows.h>

#ifdef WITH_UNINSTALL
#include "setup-uninstall.h"
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)show;
#ifdef WITH_UNINSTALL
    if (arguments[0] == '-' && arguments[1] == 'u') return arguments[2] == '\0' ? setupUninstall() : setupUninstallQuiet();
#endif
    MessageBoxA(NULL, arguments, "Probe", MB_OK);
    return 0;
}
