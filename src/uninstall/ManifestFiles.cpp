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

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension.
bool isDeviceName(const char* component, size_t length) {
    size_t base = 0;
    while (base < length && component[base] != '.') ++base;
    char name[4] = {};
    if (base != 3 && base != 4) return false;
    for (size_t i = 0; i < base; ++i) name[i] = lowerAscii(component[i]);
    if (base == 3) {
        static const char* const devices[] = {"con", "prn", "aux", "nul"};
        for (const char* device : devices) {
            if (name[0] == device[0] && name[1] == device[1] && name[2] == device[2]) return true;
        }
        return false;
    }
    bool port = (name[0] == 'c' && name[1] == 'o' && name[2] == 'm') ||
                (name[0] == 'l' && name[1] == 'p' && name[2] == 't');
    return port && name[3] >= '1' && name[3] <= '9';
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
