#include "common/SafeNames.h"

#include <windows.h>

#include <string.h>

namespace {

// Names are checked in UTF-16 of at most this many units; longer ones could
// never fit a 260-byte path.
constexpr int kWideNameCapacity = 2 * MAX_PATH;

bool isSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }

WCHAR upper(WCHAR c) { return c >= L'a' && c <= L'z' ? static_cast<WCHAR>(c - L'a' + L'A') : c; }

const char* const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};

// True when the `length` characters at `text` spell `word`, ignoring case.
bool spells(const WCHAR* text, size_t length, const char* word) {
    if (strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (upper(text[i]) != static_cast<WCHAR>(word[i])) return false;
    }
    return true;
}

// True when [begin, end) is a device name such as CON or LPT1, alone or
// followed by an extension or by blanks and dots: the platform opens the
// device instead of a file there.
bool isDeviceName(const WCHAR* begin, const WCHAR* end) {
    size_t length = 0;
    while (begin + length < end && begin[length] != L'.' && begin[length] != L' ') ++length;
    for (const char* device : kDeviceNames) {
        if (spells(begin, length, device)) return true;
    }
    // COM1 to COM9 and LPT1 to LPT9, also with a superscript digit.
    if (length != 4 || !(spells(begin, 3, "COM") || spells(begin, 3, "LPT"))) return false;
    WCHAR digit = begin[3];
    return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Checks one component [begin, end) of a path.
bool isSafeComponent(const WCHAR* begin, const WCHAR* end) {
    bool onlyDotsAndBlanks = true;
    for (const WCHAR* p = begin; p < end; ++p) {
        if (*p == L':') return false;
        if (*p != L'.' && *p != L' ') onlyDotsAndBlanks = false;
    }
    return begin != end && !onlyDotsAndBlanks && !isDeviceName(begin, end);
}

// The checks run on the name as the file system will see it: the ANSI text
// converted back to UTF-16. (A UTF-16 name converted to ANSI may gain
// separators and dots through best-fit mapping, so the original UTF-16 is
// not what counts.)
bool toWide(const char* name, WCHAR (&wide)[kWideNameCapacity]) {
    return MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kWideNameCapacity) != 0;
}

}  // namespace

bool isSafeEntryName(const char* name) {
    WCHAR wide[kWideNameCapacity];
    if (!toWide(name, wide) || wide[0] == L'\0' || isSeparator(wide[0])) return false;
    const WCHAR* begin = wide;
    for (const WCHAR* p = wide;; ++p) {
        if (*p != L'\0' && !isSeparator(*p)) continue;
        if (!isSafeComponent(begin, p)) return false;
        if (*p == L'\0') return true;
        begin = p + 1;
    }
}

bool isPlainFolderName(const char* name) {
    if (!isSafeEntryName(name)) return false;
    for (const char* p = name; *p; ++p) {
        if (static_cast<unsigned char>(*p) < 32 || strchr("\\/:*?\"<>|", *p)) return false;
    }
    // A trailing dot or blank would be dropped by the platform.
    size_t length = strlen(name);
    return name[length - 1] != '.' && name[length - 1] != ' ';
}

