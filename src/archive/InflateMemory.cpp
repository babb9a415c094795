// The allocation routines zlib's inflate uses when a stream leaves its own
// unset (the stream record is zero-filled): memory from the process heap, so
// that setup.exe needs nothing of the C library for it. zlib, built from
// source for setup.exe, leaves these two to the program (MY_ZCALLOC) and
// calls them by these names (cmake/Zlib.cmake).
#include <windows.h>

extern "C" void* setup_zcalloc(void* opaque, unsigned items, unsigned size) {
    (void)opaque;
    // inflate asks for its state and its window only; a product that
    // overflows is refused rather than cut short.
    if (size != 0 && items > 0xFFFFFFFFu / size) return nullptr;
    return HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(items) * size);
}

extern "C" void setup_zcfree(void* opaque, void* block) {
    (void)opaque;
    if (block) HeapFree(GetProcessHeap(), 0, block);
}
