// The setup INI as vendors write it, and the form the installer reads. See
// SourceIni.h.
#include "SourceIni.h"

#include <iconv.h>
#include <stdio.h>

#include <algorithm>
#include <memory>

namespace {

const LanguageCodePages kLanguageCodePages[] = {
    {"EN", {1252, 0}}, {"FR", {1252, 0}}, {"DE", {1252, 0}}, {"NL", {1252, 0}}, {"ES", {1252, 0}},
    {"IT", {1252, 0}}, {"PT", {1252, 0}}, {"SV", {1252, 0}}, {"NO", {1252, 0}}, {"DA", {1252, 0}},
    {"FI", {1252, 0}}, {"IS", {1252, 0}}, {"CA", {1252, 0}}, {"EU", {1252, 0}}, {"GL", {1252, 0}},
    {"AF", {1252, 0}}, {"IN", {1252, 0}}, {"MS", {1252, 0}}, {"PL", {1250, 0}}, {"CS", {1250, 0}},
    {"SK", {1250, 0}}, {"HU", {1250, 0}}, {"RO", {1250, 0}}, {"HR", {1250, 0}}, {"SL", {1250, 0}},
    {"SQ", {1250, 0}}, {"RU", {1251, 0}}, {"UK", {1251, 0}}, {"BE", {1251, 0}}, {"BG", {1251, 0}},
    {"MK", {1251, 0}}, {"SR", {1250, 1251}}, {"EL", {1253, 0}}, {"TR", {1254, 0}}, {"HE", {1255, 0}},
    {"AR", {1256, 0}}, {"FA", {1256, 0}}, {"ET", {1257, 0}}, {"LV", {1257, 0}}, {"LT", {1257, 0}},
    {"VI", {1258, 0}}, {"TH", {874, 0}},   {"JP", {932, 0}},  {"CH", {936, 950}}, {"KO", {949, 0}},
    {"HI", {0, 0}},
};

struct CodePageName {
    unsigned codePage;
    const char* iconvName;
    const char* shown;
};
const CodePageName kCodePageNames[] = {
    {1250, "CP1250", "Central European"}, {1251, "CP1251", "Cyrillic"},   {1252, "CP1252", "Western"},
    {1253, "CP1253", "Greek"},            {1254, "CP1254", "Turkish"},    {1255, "CP1255", "Hebrew"},
    {1256, "CP1256", "Arabic"},           {1257, "CP1257", "Baltic"},     {1258, "CP1258", "Vietnamese"},
    {874, "CP874", "Thai"},               {932, "CP932", "Japanese"},     {936, "CP936", "Chinese, simplified"},
    {949, "CP949", "Korean"},             {950, "CP950", "Chinese, traditional"},
};

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) { return upperAscii(a) == upperAscii(b); }

// The length of the UTF-8 sequence at p (1 for ASCII), 0 when it is not
// a valid one.
size_t sequenceAt(const std::string& text, size_t p) {
    unsigned char first = static_cast<unsigned char>(text[p]);
    if (first < 0x80) return 1;
    size_t length = first >= 0xC2 && first <= 0xDF ? 2 : first >= 0xE0 && first <= 0xEF ? 3
                  : first >= 0xF0 && first <= 0xF4 ? 4 : 0;
    if (length == 0 || p + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[p + i]) & 0xC0) != 0x80) return 0;
    }
    unsigned char second = static_cast<unsigned char>(text[p + 1]);
    if (first == 0xE0 && second < 0xA0) return 0;  // overlong
    if (first == 0xED && second >= 0xA0) return 0;  // surrogate half
    if (first == 0xF0 && second < 0x90) return 0;  // overlong
    if (first == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
    return length;
}

bool hasHighBytes(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// One iconv conversion, held open and reset for each text.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    bool run(const std::string& text, std::string& out) {
        if (!ok()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string input = text;
        std::vector<char> buffer(text.size() * 4 + 16);
        char* in = input.data();
        size_t inLeft = input.size();
        char* o = buffer.data();
        size_t outLeft = buffer.size();
        if (iconv(cd_, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) return false;
        if (iconv(cd_, nullptr, nullptr, &o, &outLeft) == static_cast<size_t>(-1)) return false;
        out.assign(buffer.data(), static_cast<size_t>(o - buffer.data()));
        return true;
    }

private:
    iconv_t cd_;
};

bool encodeCharacter(Iconv& to, Iconv& back, const std::string& character, std::string& out) {
    std::string again;
    return to.run(character, out) && back.run(out, again) && again == character;
}

// Lead bytes of the double-byte code pages.
bool isLeadByte(unsigned codePage, unsigned char c) {
    switch (codePage) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
    }
}

}  // namespace

const LanguageCodePages* languageCodePages(const std::string& section) {
    for (const LanguageCodePages& l : kLanguageCodePages) {
        if (equalsIgnoringCase(section, l.section)) return &l;
    }
    return nullptr;
}

const char* iconvCodePage(unsigned codePage) {
    for (const CodePageName& c : kCodePageNames) {
        if (c.codePage == codePage) return c.iconvName;
    }
    return nullptr;
}

std::string codePageShown(unsigned codePage) {
    for (const CodePageName& c : kCodePageNames) {
        if (c.codePage == codePage) return std::to_string(codePage) + " (" + c.shown + ")";
    }
    return std::to_string(codePage);
}

bool encodeInCodePage(unsigned codePage, const std::string& utf8, std::string& out, std::string& bad) {
    out.clear();
    bad.clear();
    const char* name = iconvCodePage(codePage);
    std::unique_ptr<Iconv> to, back;
    if (name) {
        to = std::make_unique<Iconv>(name, "UTF-8");
        back = std::make_unique<Iconv>("UTF-8", name);
    }
    for (size_t p = 0; p < utf8.size();) {
        size_t length = sequenceAt(utf8, p);
        if (length == 0) length = 1;
        std::string character = utf8.substr(p, length);
        p += length;
        if (length == 1 && static_cast<unsigned char>(character[0]) < 0x80) {
            out += character;
            continue;
        }
        std::string bytes;
        if (!to || !encodeCharacter(*to, *back, character, bytes)) {
            bad = character;
            return false;
        }
        out += bytes;
    }
    return true;
}

bool decodeFromCodePage(unsigned codePage, const std::string& bytes, std::string& utf8) {
    const char* name = iconvCodePage(codePage);
    if (!name) return false;
    Iconv from("UTF-8", name);
    return from.run(bytes, utf8);
}

std::string describeCharacter(const std::string& utf8) {
    if (utf8.empty()) return "";
    size_t length = sequenceAt(utf8, 0);
    if (length == 0) return "an invalid byte";
    unsigned char first = static_cast<unsigned char>(utf8[0]);
    unsigned long code = length == 1 ? first : length == 2 ? first & 0x1F : length == 3 ? first & 0x0F : first & 0x07;
    for (size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    char hex[16];
    snprintf(hex, sizeof hex, "U+%04lX", code);
    return std::string(hex) + " (" + utf8.substr(0, length) + ")";
}

bool EmbeddedIni::hasErrors() const {
    return std::any_of(problems.begin(), problems.end(), [](const SourceIniProblem& p) { return p.error; });
}

bool isUtf8Text(const std::string& bytes) {
    size_t p = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (p < bytes.size()) {
        size_t length = sequenceAt(bytes, p);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

namespace {

struct SourceLine {
    std::string text;  // without its end
    unsigned number;
    bool isSection = false;
    bool isComment = false;  // ';' first, or blank
    std::string name;        // section or key name, trimmed
    std::string value;       // a key's value, trimmed
    bool hasValue = false;
};

struct SourceSection {
    std::string name;  // empty for the lines before the first section
    std::vector<SourceLine> lines;  // the header first, when there is one
    unsigned codePage = 1252;
    bool isLanguage = false;  // a language section that records its code page
    bool lossy = false;       // never read: characters the code page lacks become '?'
};

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<SourceSection> splitSections(const std::string& source) {
    std::vector<SourceSection> sections(1);
    size_t p = source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    unsigned number = 0;
    while (p < source.size()) {
        size_t end = source.find_first_of("\r\n", p);
        if (end == std::string::npos) end = source.size();
        SourceLine line;
        line.text = source.substr(p, end - p);
        line.number = ++number;
        p = end + (source.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        std::string trimmed = trim(line.text);
        size_t close = trimmed.rfind(']');
        if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
            line.isSection = true;
            line.name = trim(trimmed.substr(1, close - 1));
            sections.push_back(SourceSection());
            sections.back().name = line.name;
        } else if (trimmed.empty() || trimmed[0] == ';') {
            line.isComment = true;
        } else {
            size_t equals = trimmed.find('=');
            line.hasValue = equals != std::string::npos;
            line.name = trim(trimmed.substr(0, equals));
            if (line.hasValue) line.value = trim(trimmed.substr(equals + 1));
        }
        sections.back().lines.push_back(line);
    }
    return sections;
}

const SourceLine* findKey(const SourceSection& section, const std::string& key) {
    for (const SourceLine& line : section.lines) {
        if (!line.isSection && !line.isComment && equalsIgnoringCase(line.name, key)) return &line;
    }
    return nullptr;
}

bool parseCodePage(const std::string& text, unsigned& codePage) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    codePage = static_cast<unsigned>(std::stoul(text));
    return true;
}

// Decides each section's code page; problems for a section whose choice is
// missing or not one its users run.
void chooseCodePages(std::vector<SourceSection>& sections, const SourceIniOptions& options,
                     std::vector<SourceIniProblem>& problems) {
    std::vector<std::string> seen;
    for (size_t i = 1; i < sections.size(); ++i) {
        SourceSection& s = sections[i];
        std::string upper = upperAscii(s.name);
        bool known = upper == "SETTINGS" || upper == "FILETYPE" || upper == "EN";
        const LanguageCodePages* language = upper == "EN" ? nullptr : languageCodePages(upper);
        if (!known && !language) s.lossy = true;
        if (!language) continue;
        s.isLanguage = true;
        unsigned headerLine = s.lines.front().number;
        const LanguageCodePages* l = language;
        unsigned chosen = 0;
        std::string from;
        for (const auto& choice : options.codePages) {
            if (upperAscii(choice.first) == upper) {
                chosen = choice.second;
                from = "--code-page " + upper + "=" + std::to_string(chosen);
            }
        }
        const SourceLine* key = findKey(s, "CodePage");
        if (key && chosen == 0) {
            if (!parseCodePage(key->value, chosen)) {
                problems.push_back({true, key->number, "CodePage " + key->value + " is not a code page number"});
                continue;
            }
            from = "CodePage=" + std::to_string(chosen);
        }
        std::string offered = codePageShown(l->codePages[0]);
        if (l->codePages[1]) offered += " or " + codePageShown(l->codePages[1]);
        if (chosen == 0 && l->codePages[1] != 0) {
            problems.push_back({true, headerLine,
                                "[" + upper + "] is read by users of two code pages, " +
                                    codePageShown(l->codePages[0]) + " and " + codePageShown(l->codePages[1]) +
                                    ", and text written in one is garbled in the other: choose one with "
                                    "CodePage=" + std::to_string(l->codePages[0]) + " in the section or "
                                    "--code-page " + upper + "=" + std::to_string(l->codePages[0])});
            s.codePage = l->codePages[0];
            continue;
        }
        if (chosen != 0 && chosen != l->codePages[0] && chosen != l->codePages[1]) {
            problems.push_back({true, key && from.compare(0, 9, "CodePage=") == 0 ? key->number : headerLine,
                                from + ": the Windows of [" + upper + "]'s users runs " +
                                    (l->codePages[0] ? offered : std::string("no ANSI code page")) +
                                    "; the installer would never use the section"});
            s.codePage = l->codePages[0];
            continue;
        }
        s.codePage = chosen ? chosen : l->codePages[0];
    }
}

// Encodes a line of a section that is never read: a character its code page
// lacks becomes '?'.
std::string encodeLossy(unsigned codePage, const std::string& utf8) {
    std::string out;
    for (size_t p = 0; p < utf8.size();) {
        size_t length = sequenceAt(utf8, p);
        if (length == 0) length = 1;
        std::string bytes, bad;
        out += encodeInCodePage(codePage, utf8.substr(p, length), bytes, bad) ? bytes : "?";
        p += length;
    }
    return out;
}

// A double-byte character whose second byte is '\' followed by 'n': the
// installer turns "\n" into a line break wherever it stands, and would
// cut such a character in two.
size_t splitLineBreakAt(unsigned codePage, const std::string& bytes) {
    for (size_t p = 0; p < bytes.size(); ++p) {
        if (!isLeadByte(codePage, static_cast<unsigned char>(bytes[p])) || p + 1 >= bytes.size()) continue;
        if (bytes[p + 1] == '\\' && p + 2 < bytes.size() && bytes[p + 2] == 'n') return p;
        ++p;
    }
    return std::string::npos;
}

// What a Windows-1252 text reads as where the ANSI code page is another.
std::string readElsewhere(const std::string& ansi, unsigned codePage) {
    std::string out;
    for (char c : ansi) {
        std::string utf8;
        out += decodeFromCodePage(codePage, std::string(1, c), utf8) ? utf8 : "?";
    }
    return out;
}

void warnBeyondAscii(const SourceSection& s, const SourceLine& line, const std::string& encoded,
                     std::vector<SourceIniProblem>& problems) {
    if (!line.hasValue) return;
    std::string value = trim(encoded.substr(encoded.find('=') + 1));
    std::string elsewhere = "\"" + readElsewhere(value, 1251) + "\" on Cyrillic (1251) Windows, and other "
                            "characters again on Greek, Central European or Asian Windows";
    std::string key = line.name;
    std::string what;
    if (equalsIgnoringCase(key, "ProgName") || equalsIgnoringCase(key, "ProgDir")) {
        what = " where the ANSI code page is not 1252 the folders and keys it names (" +
               std::string(equalsIgnoringCase(key, "ProgName")
                               ? "the Programs-menu folder, the shortcuts, the uninstall entry"
                               : "the install folder and the documents folder") +
               ") get the name " + elsewhere + ", and an installer of another code page does not find them";
    } else {
        what = " every user whose language has no section of its own and whose Windows is not 1252 sees " +
               elsewhere;
    }
    problems.push_back({false, line.number,
                        key + " in [" + s.name + "] holds text beyond ASCII; it is written in Windows-1252, and" +
                            what});
}

}  // namespace

EmbeddedIni makeEmbeddedIni(const std::string& source, const SourceIniOptions& options) {
    EmbeddedIni result;
    if (!isUtf8Text(source)) {
        result.bytes = source;
        return result;
    }
    result.fromUtf8 = true;
    std::vector<SourceSection> sections = splitSections(source);
    chooseCodePages(sections, options, result.problems);

    // The shipped texts each language section lacks, and the sections the
    // source has not at all.
    std::vector<std::vector<std::string>> added(sections.size());
    std::vector<const Translation*> newSections;
    for (const Translation& t : options.translations) {
        const LanguageCodePages* l = languageCodePages(t.section);
        unsigned codePage = l ? l->codePages[0] : 1252;
        size_t at = 0;
        for (size_t i = 1; i < sections.size() && at == 0; ++i) {
            if (equalsIgnoringCase(sections[i].name, t.section)) at = i;
        }
        if (at == 0) {
            newSections.push_back(&t);
            continue;
        }
        // Texts of one script do not fill a section written in another.
        if (sections[at].codePage != codePage && !equalsIgnoringCase(t.section, "EN")) continue;
        for (const auto& key : t.keys) {
            if (!findKey(sections[at], key.first)) added[at].push_back(key.first + "=" + key.second);
        }
    }

    auto emit = [&](const std::string& bytes, unsigned line) {
        result.bytes += bytes;
        result.bytes += "\r\n";
        result.sourceLines.push_back(line);
    };
    for (size_t i = 0; i < sections.size(); ++i) {
        SourceSection& s = sections[i];
        std::string upper = upperAscii(s.name);
        bool settingsOrEnglish = upper == "SETTINGS" || upper == "EN";
        std::vector<std::pair<std::string, unsigned>> lines;
        bool beyondAscii = false;
        for (const SourceLine& line : s.lines) {
            std::string bytes, bad;
            bool lossy = i == 0 || s.lossy || line.isComment || line.isSection;
            if (lossy) {
                bytes = encodeLossy(s.codePage, line.text);
            } else if (!encodeInCodePage(s.codePage, line.text, bytes, bad)) {
                std::string readers = s.isLanguage ? "which the Windows of [" + upper + "]'s users reads"
                                                   : "in which [" + s.name + "] is written for every user";
                result.problems.push_back(
                    {true, line.number,
                     "the character " + describeCharacter(bad) + " cannot be written in code page " +
                         codePageShown(s.codePage) + ", " + readers + "; the installer's texts are ANSI text"});
                bytes = encodeLossy(s.codePage, line.text);
            } else if (hasHighBytes(bytes)) {
                beyondAscii = true;
                if (settingsOrEnglish) warnBeyondAscii(s, line, bytes, result.problems);
                if (splitLineBreakAt(s.codePage, bytes) != std::string::npos) {
                    result.problems.push_back(
                        {true, line.number,
                         "a character of this line ends, in code page " + codePageShown(s.codePage) +
                             ", with the byte of '\\' and is followed by n; the installer turns \\n into a line "
                             "break there and cuts the character: put a blank between them"});
                }
            }
            lines.emplace_back(bytes, line.number);
        }
        std::vector<std::string> extra;
        for (const std::string& text : added[i]) {
            std::string bytes, bad;
            if (!encodeInCodePage(s.codePage, text, bytes, bad) ||
                splitLineBreakAt(s.codePage, bytes) != std::string::npos) {
                continue;  // a shipped text this code page cannot carry as written
            }
            beyondAscii = beyondAscii || hasHighBytes(bytes);
            extra.push_back(bytes);
        }
        // The section's own lines, the added keys before its trailing blank
        // lines, and the code page first where it holds text beyond ASCII.
        size_t end = lines.size();
        while (end > 1 && s.lines[end - 1].isComment && trim(s.lines[end - 1].text).empty()) --end;
        for (size_t j = 0; j < lines.size(); ++j) {
            if (j == end) {
                for (const std::string& e : extra) emit(e, 0);
            }
            emit(lines[j].first, lines[j].second);
            if (j == 0 && i > 0 && s.isLanguage && beyondAscii && !findKey(s, "CodePage")) {
                emit("CodePage=" + std::to_string(s.codePage), 0);
            }
        }
        if (end == lines.size()) {
            for (const std::string& e : extra) emit(e, 0);
        }
    }
    for (const Translation* t : newSections) {
        const LanguageCodePages* l = languageCodePages(t->section);
        unsigned codePage = l ? l->codePages[0] : 1252;
        std::vector<std::string> lines;
        bool beyondAscii = false;
        for (const auto& key : t->keys) {
            std::string bytes, bad;
            if (!encodeInCodePage(codePage, key.first + "=" + key.second, bytes, bad) ||
                splitLineBreakAt(codePage, bytes) != std::string::npos) {
                continue;
            }
            beyondAscii = beyondAscii || hasHighBytes(bytes);
            lines.push_back(bytes);
        }
        emit("", 0);
        emit("[" + upperAscii(t->section) + "]", 0);
        if (beyondAscii && !equalsIgnoringCase(t->section, "EN")) emit("CodePage=" + std::to_string(codePage), 0);
        for (const std::string& line : lines) emit(line, 0);
    }
    return result;
}
