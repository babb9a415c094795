// The program the benchmark's installers install and start at their end: it
// ends at once, so that it costs both installers the same. It is built
// without the C runtime's start-up code (bench/payloads.sh), so that the
// fixed-cost payload, which holds it alone, stays a few kilobytes.
#include <windows.h>

extern "C" void benchEntry() { ExitProcess(0); }
