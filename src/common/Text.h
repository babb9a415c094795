#pragma once
// Text comparisons and scans that respect the ANSI code page's characters.

// True when the two byte ranges hold the same text without regard to letter
// case, compared as characters of the ANSI code page (double-byte characters
// stay whole). Lengths are in bytes.
bool sameTextIgnoringCase(const char* a, int aLength, const char* b, int bLength);

// The same for two terminated texts.
bool sameTextIgnoringCase(const char* a, const char* b);

// The last backslash of a terminated text, stepping by characters so that the
// trail byte of a double-byte character is never taken for one; null if none.
char* findLastBackslash(char* text);
