#include "config/ProfileText.h"

#include <string.h>

namespace {

constexpr unsigned kReplacement = 0xFFFD;  // what a broken UTF-8 sequence decodes to

// Windows-1252 bytes 0x80 to 0x9F as code points; the undefined five map to
// themselves, as the platform's table maps them.
const unsigned short kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isProfileBlank(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

void trim(const char*& begin, const char*& end) {
    while (begin < end && isProfileBlank(static_cast<unsigned char>(*begin))) ++begin;
    while (end > begin && isProfileBlank(static_cast<unsigned char>(end[-1]))) --end;
}

// The bytes of [begin, end) before a NUL; the whole range without one.
size_t lengthToNul(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && *p != '\0') ++p;
    return static_cast<size_t>(p - begin);
}

// The first '=' of [begin, end), or null.
const char* findEquals(const char* begin, const char* end) {
    for (const char* p = begin; p < end; ++p) {
        if (*p == '=') return p;
    }
    return nullptr;
}

// Decodes one character at p (p < end) and returns the position after it.
const char* decode(ProfileEncoding encoding, const char* p, const char* end, unsigned& codePoint) {
    unsigned char first = static_cast<unsigned char>(*p);
    if (encoding != ProfileEncoding::Utf8) {
        codePoint = first >= 0x80 && first < 0xA0 ? kCp1252High[first - 0x80] : first;
        return p + 1;
    }
    if (first < 0x80) {
        codePoint = first;
        return p + 1;
    }
    int extra = first >= 0xF0 && first < 0xF5 ? 3 : first >= 0xE0 ? 2 : first >= 0xC2 ? 1 : -1;
    if (first >= 0xF5) extra = -1;
    if (extra < 0 || end - p <= extra) {
        codePoint = kReplacement;
        return p + 1;
    }
    unsigned value = first & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        unsigned char next = static_cast<unsigned char>(p[i]);
        if ((next & 0xC0) != 0x80) {
            codePoint = kReplacement;
            return p + i;
        }
        value = (value << 6) | (next & 0x3F);
    }
    static const unsigned kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    bool valid = value >= kSmallest[extra] && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    codePoint = valid ? value : kReplacement;
    return p + extra + 1;
}

// The code point's ANSI byte (Windows-1252); '?' when it has none.
char toAnsi(unsigned codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (unsigned i = 0; i < 32; ++i) {
        if (kCp1252High[i] == codePoint) return static_cast<char>(0x80 + i);
    }
    return '?';
}

// Names match without regard to the case of ASCII letters only: under the
// platform's reader "\xC9" (E acute) and "\xE9" (e acute) are different.
unsigned foldCase(unsigned c) { return c >= 'A' && c <= 'Z' ? c + 0x20 : c; }

}  // namespace

ProfileEncoding profileEncoding(const char* text, size_t size, size_t* markSize) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    ProfileEncoding encoding = ProfileEncoding::Ansi;
    size_t mark = 0;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        encoding = ProfileEncoding::Utf8;
        mark = 3;
    } else if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        encoding = ProfileEncoding::Utf16;
        mark = 2;
    }
    if (markSize) *markSize = mark;
    return encoding;
}

bool profileNameEquals(ProfileEncoding encoding, const char* name, size_t length, const char* query) {
    const char* q = query;
    const char* qEnd = query + strlen(query);
    trim(q, qEnd);
    const char* n = name;
    const char* nEnd = name + length;
    while (n < nEnd && q < qEnd) {
        unsigned a = 0;
        unsigned b = 0;
        n = decode(encoding, n, nEnd, a);
        q = decode(ProfileEncoding::Ansi, q, qEnd, b);
        if (foldCase(a) != foldCase(b)) return false;
    }
    return n == nEnd && q == qEnd;
}

ProfileCursor::ProfileCursor(const char* text, size_t size)
    : text_(text), size_(size), offset_(0), lineNumber_(1) {
    encoding_ = profileEncoding(text, size, &offset_);
    if (encoding_ == ProfileEncoding::Utf16) offset_ = size_;
}

bool ProfileCursor::next(ProfileLine& line) {
    const char* end = text_ + size_;
    while (offset_ < size_) {
        const char* begin = text_ + offset_;
        const char* lineEnd = begin;
        while (lineEnd < end && !isLineEnd(*lineEnd)) ++lineEnd;
        // The run of line ends after it; CR LF counts as one end.
        const char* next = lineEnd;
        unsigned ends = 0;
        while (next < end && isLineEnd(*next)) {
            if (*next == '\r' && next + 1 < end && next[1] == '\n') ++next;
            ++next;
            ++ends;
        }
        unsigned number = lineNumber_;
        lineNumber_ += ends;
        offset_ = static_cast<size_t>(next - text_);

        const char* s = begin;
        const char* e = lineEnd;
        trim(s, e);
        if (s == e) continue;

        line.number = number;
        line.text = begin;
        line.length = static_cast<size_t>(lineEnd - begin);
        line.value = nullptr;
        line.valueLength = 0;

        if (*s == '[') {
            const char* close = e;
            while (close > s && close[-1] != ']') --close;
            if (close > s) {
                const char* nameBegin = s + 1;
                const char* nameEnd = close - 1;
                trim(nameBegin, nameEnd);
                line.kind = ProfileLine::Kind::Section;
                line.name = nameBegin;
                line.nameLength = lengthToNul(nameBegin, nameEnd);
                return true;
            }
        }

        line.kind = ProfileLine::Kind::Key;
        const char* equals = findEquals(s, e);
        const char* nameEnd = equals ? equals : e;
        const char* nameBegin = s;
        trim(nameBegin, nameEnd);
        line.name = nameBegin;
        line.nameLength = lengthToNul(nameBegin, nameEnd);
        if (equals) {
            const char* valueBegin = equals + 1;
            const char* valueEnd = e;
            trim(valueBegin, valueEnd);
            line.value = valueBegin;
            line.valueLength = lengthToNul(valueBegin, valueEnd);
        }
        return true;
    }
    return false;
}

size_t readProfileText(const char* text, size_t size, const char* section, const char* key,
                       char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    out[0] = '\0';
    if (!text || !section || !key) return 0;

    ProfileCursor cursor(text, size);
    const ProfileEncoding encoding = cursor.encoding();
    // Keys before the first section belong to the section with the empty name.
    bool inSection = profileNameEquals(encoding, "", 0, section);
    bool sectionSeen = inSection;
    ProfileLine line;
    const ProfileLine* found = nullptr;
    while (!found && cursor.next(line)) {
        if (line.kind == ProfileLine::Kind::Section) {
            if (sectionSeen) break;  // only the first section of the name is searched
            inSection = profileNameEquals(encoding, line.name, line.nameLength, section);
            sectionSeen = inSection;
            continue;
        }
        if (inSection && profileNameEquals(encoding, line.name, line.nameLength, key)) found = &line;
    }
    if (!found || !found->value) return 0;

    // Count the value's characters, then copy as the platform does: at most
    // outSize - 1 characters; the closing quote goes when the whole value,
    // counted from after the opening quote, fits within outSize characters.
    const char* p = found->value;
    const char* end = p + found->valueLength;
    size_t count = 0;
    unsigned first = 0;
    unsigned last = 0;
    for (const char* q = p; q < end; ++count) {
        q = decode(encoding, q, end, last);
        if (count == 0) first = last;
    }
    bool quoted = (first == '"' || first == '\'') && count >= 2 && last == first;
    if (quoted) {
        p = decode(encoding, p, end, first);
        --count;
    }
    size_t copied = count < outSize - 1 ? count : outSize - 1;
    if (quoted && outSize >= count && copied > 0) --copied;

    size_t stored = 0;
    while (stored < copied) {
        unsigned codePoint = 0;
        p = decode(encoding, p, end, codePoint);
        out[stored++] = toAnsi(codePoint);
    }
    out[stored] = '\0';
    return stored;
}
