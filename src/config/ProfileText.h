#pragma once
// The platform's private-profile (INI) format, read from bytes in memory the
// way the platform's profile reader reads a file. No allocation, no platform
// headers: the installer, the packer's checks and the tests share it.
//
// The rules, as the platform's reader applies them:
// - Encoding: a text that starts with the UTF-8 byte-order mark is UTF-8
//   (values come out in Windows-1252; characters it lacks become '?', where
//   the platform may pick a similar letter instead);
//   one that starts with a UTF-16 mark is UTF-16, which this reader does not
//   read (nothing is found); anything else is single-byte ANSI text, read
//   here as Windows-1252 (multi-byte code pages are not modelled).
// - Lines end at CR, LF or any run of them (CR LF, LF alone and CR alone are
//   alike; blank lines vanish). Blanks (tab, LF, VT, FF, CR, space and the
//   old end-of-file byte 0x1A) are trimmed around every line, name and value.
// - A line that starts with '[' and holds a ']' starts a section; its name
//   is what lies between the '[' and the last ']', trimmed. Text after that
//   ']' is ignored. A '[' line without ']' is an ordinary line.
// - Any other line is a key: its name is what precedes the first '=', its
//   value what follows it, both trimmed. A line without '=' is a key without
//   a value (reads as the empty text). ';' has no meaning when a key is
//   looked up: ";Key=x" is a key named ";Key" (enumerations skip such lines
//   as comments).
// - Lines before the first section belong to a section with the empty name.
// - Names match without regard to the case of ASCII letters (other letters
//   must match exactly). The first section of a name is the
//   only one searched: a key of a second section of the same name is never
//   found. Within it, the first of two keys of the same name wins.
// - A value whose first character is a double or a single quote and whose
//   last character is the same quote (two characters at least) loses both.
// - A NUL byte ends a name or a value where it stands.
#include <stddef.h>

enum class ProfileEncoding {
    Ansi,   // single-byte ANSI text
    Utf8,   // starts with EF BB BF
    Utf16,  // starts with FF FE or FE FF: not read here
};

// The encoding of a profile text, from its first bytes, and the number of
// byte-order-mark bytes that precede the first line.
ProfileEncoding profileEncoding(const char* text, size_t size, size_t* markSize);

// What GetPrivateProfileStringA gives for `key` of `section` with the empty
// text as default and a buffer of `outSize` bytes: the value (quotes
// stripped as above), cut to outSize - 1 bytes, always terminated, and the
// number of bytes stored without the terminator. 0 when the key is missing,
// has no value or is empty. `section` and `key` are trimmed as the platform
// trims them. Nothing is read outside [text, text + size).
size_t readProfileText(const char* text, size_t size, const char* section, const char* key,
                       char* out, size_t outSize);

// One line of a profile text as the reader sees it.
struct ProfileLine {
    enum class Kind { Section, Key };
    Kind kind;
    unsigned number;         // 1-based, counting CR LF, LF and CR as one line end each
    const char* text;        // the whole line, without its end and not trimmed
    size_t length;
    const char* name;        // section or key name, trimmed, up to a NUL
    size_t nameLength;
    const char* value;       // a key's value, trimmed, quotes kept; null without '='
    size_t valueLength;      // up to a NUL
};

// Walks the lines of a profile text that are not blank, in order.
class ProfileCursor {
public:
    ProfileCursor(const char* text, size_t size);
    // The next section or key line; false at the end. A UTF-16 text has none.
    bool next(ProfileLine& line);
    ProfileEncoding encoding() const { return encoding_; }

private:
    const char* text_;
    size_t size_;
    size_t offset_;
    unsigned lineNumber_;
    ProfileEncoding encoding_;
};

// True when the `length` bytes at `name` (in the given encoding) and the
// zero-terminated `query` (ANSI) name the same thing without regard to case;
// `query` is trimmed first.
bool profileNameEquals(ProfileEncoding encoding, const char* name, size_t length, const char* query);
