#include "uninstall/ManifestFiles.h"

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The line starting at `offset`: its bytes without CR LF, and where the next
// line starts.
size_t lineAt(const char* text, size_t size, size_t offset, size_t& length) {
    size_t end = offset;
    while (end < size && text[end] != '\n') ++end;
    length = end - offset;
    if (length > 0 && text[offset + length - 1] == '\r') --length;
    return end < size ? end + 1 : size;
}

// True when the line is "[<section>]" (`section` in lower case).
bool isSectionHeader(const char* line, size_t length, const char* section) {
    if (length < 2 || line[0] != '[' || line[length - 1] != ']') return false;
    size_t i = 0;
    for (; i + 2 < length && section[i]; ++i) {
        if (lowerAscii(line[i + 1]) != section[i]) return false;
    }
    return i + 2 == length && section[i] == '\0';
}

// A decimal number ending at a blank; false on overflow or no digit.
bool readNumber(const char*& p, const char* end, uint64_t& value) {
    value = 0;
    const char* start = p;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return p > start && p < end && *p == ' ';
}

// True when the `length` bytes at `text` spell `word` (lower case), ignoring
// the case of ASCII letters.
bool spells(const char* text, size_t length, const char* word) {
    size_t i = 0;
    for (; i < length && word[i]; ++i) {
        if (lowerAscii(text[i]) != word[i]) return false;
    }
    return i == length && word[i] == '\0';
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (also with the
// superscript digits 1, 2 and 3, in UTF-8), alone or followed by an
// extension or by blanks and dots: the platform opens the device there, as
// the installer's own name check knows.
bool isDeviceName(const char* component, size_t length) {
    size_t base = 0;
    while (base < length && component[base] != '.' && component[base] != ' ') ++base;
    static const char* const devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* device : devices) {
        if (spells(component, base, device)) return true;
    }
    if (base < 4 || !(spells(component, 3, "com") || spells(component, 3, "lpt"))) return false;
    const unsigned char* digit = reinterpret_cast<const unsigned char*>(component + 3);
    if (base == 4) return digit[0] >= '1' && digit[0] <= '9';
    return base == 5 && digit[0] == 0xC2 && (digit[1] == 0xB9 || digit[1] == 0xB2 || digit[1] == 0xB3);
}

bool isSafeComponent(const char* component, size_t length) {
    if (length == 0) return false;
    bool onlyDotsAndBlanks = true;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(component[i]);
        if (c < 0x20 || c == ':' || c == '/' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|') {
            return false;
        }
        if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks && !isDeviceName(component, length);
}

}  // namespace

ManifestFiles::ManifestFiles(const char* text, size_t size, const char* section)
    : text_(text), size_(size), start_(size + 1), offset_(size + 1) {
    size_t offset = 0;
    while (offset < size) {
        size_t length = 0;
        size_t next = lineAt(text, size, offset, length);
        if (isSectionHeader(text + offset, length, section)) {
            start_ = offset_ = next;
            return;
        }
        offset = next;
    }
}

bool ManifestFiles::next(const char*& name, size_t& length) {
    while (offset_ < size_) {
        size_t start = offset_;
        offset_ = lineAt(text_, size_, offset_, length);
        if (length == 0) continue;
        if (text_[start] == '[') {
            offset_ = size_;  // another section: the list has ended
            return false;
        }
        name = text_ + start;
        return true;
    }
    return false;
}

bool isSafeManifestName(const char* name, size_t length) {
    if (length > 0 && name[length - 1] == '\\') --length;  // a folder
    if (length == 0) return false;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && name[i] != '\\') continue;
        if (!isSafeComponent(name + start, i - start)) return false;
        start = i + 1;
    }
    return true;
}

bool parseRecord(const char* line, size_t length, ManifestRecord& record) {
    const char* p = line;
    const char* end = line + length;
    if (!readNumber(p, end, record.size)) return false;
    ++p;
    if (!readNumber(p, end, record.writeTime)) return false;
    ++p;
    if (p >= end) return false;
    record.name = p;
    record.length = static_cast<size_t>(end - p);
    return true;
}

bool isVersionManifestName(const char* name, size_t length) {
    static const char kPrefix[] = "setup-uninstall.";
    static const char kSuffix[] = ".ini";
    const size_t prefix = sizeof kPrefix - 1, digits = 16, suffix = sizeof kSuffix - 1;
    if (length != prefix + digits + suffix || !spells(name, prefix, kPrefix) ||
        !spells(name + prefix + digits, suffix, kSuffix)) {
        return false;
    }
    for (size_t i = prefix; i < prefix + digits; ++i) {
        char c = lowerAscii(name[i]);
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}
