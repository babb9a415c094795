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

bool isFilesHeader(const char* line, size_t length) {
    static const char kHeader[] = "[files]";
    if (length != sizeof kHeader - 1) return false;
    for (size_t i = 0; i < length; ++i) {
        if (lowerAscii(line[i]) != kHeader[i]) return false;
    }
    return true;
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

ManifestFiles::ManifestFiles(const char* text, size_t size)
    : text_(text), size_(size), start_(size + 1), offset_(size + 1) {
    size_t offset = 0;
    while (offset < size) {
        size_t length = 0;
        size_t next = lineAt(text, size, offset, length);
        if (isFilesHeader(text + offset, length)) {
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
