// The little runtime support setup.exe needs in place of the C++ runtime,
// which it does not link (see driver/Main.cpp).
#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <zlib.h>

// Deleting destructors of classes with a virtual destructor refer to these;
// the installer allocates nothing with new.
void operator delete(void* block) noexcept {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

// zlib's inflate refers to crc32() for gzip streams. The payload holds zlib
// streams only, so it is never called; this bitwise CRC-32 (the standard
// reflected polynomial 0xEDB88320) keeps zlib's 7 KB of tables out of the
// installer while staying correct should it ever be called.
extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buffer, uInt length) {
    if (buffer == Z_NULL) return 0;
    uint32_t c = static_cast<uint32_t>(crc) ^ 0xFFFFFFFFu;
    while (length--) {
        c ^= *buffer++;
        for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}
