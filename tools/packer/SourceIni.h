#pragma once
// The setup INI as vendors write it, and the form the installer reads.
//
// A vendor writes one UTF-8 file (with or without a byte-order mark, LF or
// CR LF lines). The installer reads its texts with the platform's ANSI
// profile reader, so the embedded copy has CR LF lines, no mark, and each
// language section in the ANSI code page of the Windows its users run;
// [Settings], [EN], [FileType] and every other section are Windows-1252.
// A language section that holds text beyond ASCII gets a CodePage= key
// right after its header: the installer uses the section only where that is
// the system's ANSI code page. A file that is not valid UTF-8 is a legacy
// file: it is embedded exactly as written.
#include <string>
#include <utility>
#include <vector>

// A language's section and the Windows ANSI code pages its users run; two
// for a section that two scripts share (CH, SR), none for a language whose
// Windows has no ANSI code page of its own (its section can hold ASCII only).
struct LanguageCodePages {
    const char* section;
    unsigned codePages[2];  // 0 where unused
};

// The entry of a two-letter language section, or null when no language has
// that section.
const LanguageCodePages* languageCodePages(const std::string& section);

// The iconv name of a Windows code page, null when it is not one we write.
const char* iconvCodePage(unsigned codePage);
// "1251 (Cyrillic)".
std::string codePageShown(unsigned codePage);

// Converts UTF-8 to the code page; false when a character has no place in
// it (no best fit: the bytes must give back exactly the same character), with
// the first such character in `bad`.
bool encodeInCodePage(unsigned codePage, const std::string& utf8, std::string& out, std::string& bad);
// Converts the code page's bytes to UTF-8; false on bytes it does not define.
bool decodeFromCodePage(unsigned codePage, const std::string& bytes, std::string& utf8);

// "U+0416 (Ж)" for the first character of the UTF-8 text.
std::string describeCharacter(const std::string& utf8);

// The shipped texts of one language: key and UTF-8 value, in file order.
struct Translation {
    std::string section;
    std::vector<std::pair<std::string, std::string>> keys;
};

struct SourceIniOptions {
    // The vendor's choice for a section whose users run two code pages:
    // section name (upper case) and code page, from --code-page CH=936.
    std::vector<std::pair<std::string, unsigned>> codePages;
    // The shipped texts to fill in with (empty: none).
    std::vector<Translation> translations;
};

struct SourceIniProblem {
    bool error;
    unsigned line;  // of the source; 0 for the whole file
    std::string message;
};

struct EmbeddedIni {
    bool fromUtf8 = false;              // false: a legacy file, embedded as written
    std::string bytes;                  // the installer's form
    std::vector<unsigned> sourceLines;  // per line of `bytes`: its source line, 0 when added
    std::vector<SourceIniProblem> problems;
    bool hasErrors() const;
};

// Whether the bytes are UTF-8 text (a byte-order mark allowed), strictly:
// no overlong forms, surrogate halves or code points past U+10FFFF.
bool isUtf8Text(const std::string& bytes);

// The embedded form of the source INI, with the problems found on the way.
EmbeddedIni makeEmbeddedIni(const std::string& source, const SourceIniOptions& options);
