// Not built yet: every operation fails safely.
#include "archive/Extractor.h"

int extractPayload(HWND) { return 0; }
int ArchiveExtractor::extract(HWND, const uint8_t*, uint32_t, const char*) { return 0; }
int EntryInflater::inflateToFile(HANDLE, const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t) { return 0; }
void createParentDirectories(char*) {}
