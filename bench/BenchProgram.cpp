// The program the benchmark's installers install and start at their end: it
// ends at once, so that it costs both installers the same.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
