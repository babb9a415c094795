#include "common/Text.h"

#include <windows.h>

bool sameTextIgnoringCase(const char* a, int aLength, const char* b, int bLength) {
    if (aLength == 0 || bLength == 0) return aLength == bLength;
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, aLength, b, bLength) == CSTR_EQUAL;
}

bool sameTextIgnoringCase(const char* a, const char* b) {
    return sameTextIgnoringCase(a, lstrlenA(a), b, lstrlenA(b));
}

char* findLastBackslash(char* text) {
    char* last = nullptr;
    for (char* p = text; *p; p = CharNextA(p)) {
        if (*p == '\\') last = p;
    }
    return last;
}
