// Entry point of setup.exe. There is no C runtime start-up code (it would
// double the installer's size): the platform calls setupEntry directly, and
// no global constructor runs, so global objects must not need one.
#include <windows.h>

#include "driver/RunSetup.h"

extern "C" void setupEntry() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ExitProcess(static_cast<UINT>(runSetup(instance, commandLineTail(GetCommandLineA()))));
}
