#include "SetupCheck.h"

#include <iconv.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "ArchiveWriter.h"
#include "InstallerBuild.h"
#include "PeImage.h"
#include "common/Format.h"
#include "config/ProfileText.h"
#include "driver/VersionText.h"

namespace {

namespace fs = std::filesystem;
using Severity = CheckFinding::Severity;

constexpr size_t kTextSize = 1024;  // the installer's text buffers, terminator included
constexpr size_t kPathLimit = 260;  // the installer's path buffers, terminator included
constexpr uint64_t kFileSizeLimit = uint64_t(1) << 32;

constexpr int kSlotCount = 22;
// The keys of the installer's text table, in the order it reads and formats them.
const char* const kSlotKeys[kSlotCount] = {
    "ProgName", "ProgVersion", "ProgFile", "ProgDir", "ProgDesc", "DirDesc", "ExtDesc",
    "InstallDesc", "NewerInstalled", "InstallBaseDir", "InstallProgDir", "InstallChange",
    "InstallBrowse", "InstallCompleted", "InstallFailed", "FileCopyFailed", "NotDir",
    "DirCreateFailed", "InstallOk", "InstallCancel", "InstallYes", "InstallNo",
};
constexpr int kProgName = 0, kProgVersion = 1, kProgFile = 2, kProgDir = 3, kFirstText = 4;

const char* const kFileTypeKeys[4] = {"Type", "Extension", "Open", "Icon"};
// Keys of language sections that the installer does not read: the texts of
// the uninstaller, and texts kept for other tools.
const char* const kIgnoredKeys[] = {
    "Uninstall", "Installing", "UninstallConfirm", "UninstallDone", "UninstallKept",
    "UninstallFileFailed", "UninstallIncomplete", "UninstallNothing", "UninstallRunning",
};

const char kSettings[] = "Settings";
const char kFileType[] = "FileType";
const char kEnglish[] = "EN";

// Typical folders on a customer's machine: a user name of 20 characters and
// the program-files folder a 32-bit installer gets on 64-bit Windows.
const char kStagingBase[] = "C:\\Users\\abcdefghijklmnopqrst\\AppData\\Local\\Temp\\";
const char kStagingShown[] = "C:\\Users\\<20 characters>\\AppData\\Local\\Temp\\";
const char kDocumentsBase[] = "C:\\Users\\abcdefghijklmnopqrst\\Documents\\";
const char kDocumentsShown[] = "C:\\Users\\<20 characters>\\Documents\\";
const char kInstallBase[] = "C:\\Program Files (x86)";

// The section name a language gets: the first two letters of the platform's
// abbreviated language name (LOCALE_SABBREVLANGNAME) of the user's locale.
struct Language {
    const char* code;
    const char* name;
    const char* abbreviations;
};
const Language kLanguages[] = {
    {"EN", "English", "ENU, ENG, ENA, ENC, ..."}, {"FR", "French", "FRA, FRB, FRC, FRS"},
    {"DE", "German", "DEU, DES, DEA"},           {"NL", "Dutch", "NLD, NLB"},
    {"ES", "Spanish", "ESP, ESN, ESM"},          {"IT", "Italian", "ITA, ITS"},
    {"PT", "Portuguese", "PTB, PTG"},            {"JP", "Japanese", "JPN"},
    {"CH", "Chinese", "CHS, CHT"},               {"KO", "Korean", "KOR"},
    {"SV", "Swedish", "SVE, SVF"},               {"NO", "Norwegian", "NOR, NON"},
    {"DA", "Danish", "DAN"},                     {"FI", "Finnish", "FIN"},
    {"IS", "Icelandic", "ISL"},                  {"PL", "Polish", "PLK"},
    {"CS", "Czech", "CSY"},                      {"SK", "Slovak", "SKY"},
    {"HU", "Hungarian", "HUN"},                  {"RO", "Romanian", "ROM"},
    {"RU", "Russian", "RUS"},                    {"UK", "Ukrainian", "UKR"},
    {"BE", "Belarusian", "BEL"},                 {"BG", "Bulgarian", "BGR"},
    {"HR", "Croatian", "HRV"},                   {"SR", "Serbian", "SRL, SRB"},
    {"SL", "Slovenian", "SLV"},                  {"EL", "Greek", "ELL"},
    {"TR", "Turkish", "TRK"},                    {"HE", "Hebrew", "HEB"},
    {"AR", "Arabic", "ARA, ARE, ..."},           {"TH", "Thai", "THA"},
    {"VI", "Vietnamese", "VIT"},                 {"IN", "Indonesian", "IND"},
    {"MS", "Malay", "MSL"},                      {"ET", "Estonian", "ETI"},
    {"LV", "Latvian", "LVI"},                    {"LT", "Lithuanian", "LTH"},
    {"CA", "Catalan", "CAT"},                    {"EU", "Basque", "EUQ"},
    {"FA", "Persian", "FAR"},                    {"HI", "Hindi", "HIN"},
    {"SQ", "Albanian", "SQI"},                   {"MK", "Macedonian", "MKI"},
    {"AF", "Afrikaans", "AFK"},                  {"GL", "Galician", "GLC"},
};

// Codes vendors write from habit (language or country codes) that no
// abbreviation produces, with the section the language really gets.
struct Hint {
    const char* written;
    const char* code;
};
const Hint kHints[] = {
    {"JA", "JP"}, {"ZH", "CH"}, {"CN", "CH"}, {"TW", "CH"}, {"KR", "KO"}, {"SE", "SV"},
    {"DK", "DA"}, {"NB", "NO"}, {"NN", "NO"}, {"CZ", "CS"}, {"GR", "EL"}, {"UA", "UK"},
    {"BR", "PT"}, {"EE", "ET"}, {"SI", "SL"}, {"RS", "SR"}, {"VN", "VI"}, {"ID", "IN"},
    {"IW", "HE"}, {"AT", "DE"}, {"GB", "EN"}, {"US", "EN"},
};

// Code pages that may hold names Windows-1252 cannot.
struct CodePage {
    const char* iconvName;
    const char* shown;
};
const CodePage kCodePages[] = {
    {"CP1250", "1250 (Central European)"}, {"CP1251", "1251 (Cyrillic)"}, {"CP1253", "1253 (Greek)"},
    {"CP1254", "1254 (Turkish)"},          {"CP1255", "1255 (Hebrew)"},   {"CP1256", "1256 (Arabic)"},
    {"CP1257", "1257 (Baltic)"},           {"CP1258", "1258 (Vietnamese)"}, {"CP874", "874 (Thai)"},
    {"CP932", "932 (Japanese)"},           {"CP936", "936 (Chinese, simplified)"},
    {"CP949", "949 (Korean)"},             {"CP950", "950 (Chinese, traditional)"},
};

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) { return upperAscii(a) == upperAscii(b); }

bool endsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && equalsIgnoringCase(text.substr(text.size() - end.size()), end);
}

const Language* findLanguage(const std::string& code) {
    for (const Language& l : kLanguages) {
        if (equalsIgnoringCase(code, l.code)) return &l;
    }
    return nullptr;
}

// Converts `text` from one encoding to another with iconv; false when a
// character has no place in the target.
bool convert(const char* to, const char* from, const std::string& text, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = text;
    std::vector<char> buffer(text.size() * 4 + 8);
    char* in = input.data();
    size_t inLeft = input.size();
    char* o = buffer.data();
    size_t outLeft = buffer.size();
    bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (ok) out.assign(buffer.data(), static_cast<size_t>(o - buffer.data()));
    return ok;
}

// A Windows-1252 text as UTF-8, in quotes, for a message; line breaks as \n.
std::string shown(const std::string& ansi) {
    std::string escaped;
    for (size_t i = 0; i < ansi.size(); ++i) {
        char c = ansi[i];
        if (c == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') {
            escaped += "\\n";
            ++i;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            escaped += hex;
        } else {
            escaped += c;
        }
    }
    std::string utf8;
    if (!convert("UTF-8", "CP1252", escaped, utf8)) {
        utf8.clear();
        for (char c : escaped) utf8 += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    }
    return "\"" + utf8 + "\"";
}

// A Windows-1252 text as UTF-8 for a message, without quotes around it.
std::string plain(const std::string& ansi) {
    std::string quoted = shown(ansi);
    return quoted.substr(1, quoted.size() - 2);
}

// The length of a valid UTF-8 sequence of two bytes or more at p, else 0.
size_t utf8SequenceAt(const std::string& text, size_t p) {
    unsigned char first = static_cast<unsigned char>(text[p]);
    size_t length = first >= 0xC2 && first <= 0xDF ? 2 : first >= 0xE0 && first <= 0xEF ? 3
                  : first >= 0xF0 && first <= 0xF4 ? 4 : 0;
    if (length == 0 || p + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[p + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// Whether the name is UTF-8 as setup-pack build decodes names: strictly,
// without overlong forms, surrogate halves or code points past U+10FFFF.
bool isValidUtf8(const std::string& text) {
    ByteVector encoded;
    return encodeEntryName(text, true, encoded, nullptr);
}

// The code pages of kCodePages that can hold the UTF-8 text, for a message.
std::string codePagesHolding(const std::string& utf8) {
    std::string holders;
    for (const CodePage& cp : kCodePages) {
        std::string converted;
        if (convert(cp.iconvName, "UTF-8", utf8, converted)) holders += std::string(holders.empty() ? "" : ", ") + cp.shown;
    }
    return holders;
}

// The bytes a UTF-8 path takes in the ANSI code page: Windows-1252 where it
// holds the path, else the first code page that does, else two bytes for
// every character beyond ASCII.
size_t ansiPathLength(const std::string& utf8) {
    std::string converted;
    if (convert("CP1252", "UTF-8", utf8, converted)) return converted.size();
    for (const CodePage& cp : kCodePages) {
        if (convert(cp.iconvName, "UTF-8", utf8, converted)) return converted.size();
    }
    size_t length = 0;
    for (char c : utf8) length += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : static_cast<unsigned char>(c) < 0x80 ? 1 : 2;
    return length;
}

// Case-blind edit distance, for "did you mean" on misspelt keys.
size_t editDistance(const std::string& a, const std::string& b) {
    std::string x = upperAscii(a), y = upperAscii(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

// Why `name` cannot be a single folder or file name below another folder;
// empty when it can.
std::string plainNameProblem(const std::string& name) {
    if (name.empty()) return "it is empty";
    for (char c : name) {
        if (c == '\\' || c == '/') return "it holds a path separator";
        if (strchr(":*?\"<>|", c)) return std::string("it holds the character '") + c + "'";
        if (static_cast<unsigned char>(c) < 0x20) return "it holds a control character";
    }
    if (name.back() == '.' || name.back() == ' ') return "it ends with a point or a blank, which Windows drops";
    if (name.front() == ' ') return "it starts with a blank";
    std::string base = upperAscii(name.substr(0, name.find('.')));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4",
                                           "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",
                                           "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const char* device : kDevices) {
        if (base == device) return "it is the device name " + base;
    }
    return "";
}

// True when a version text starts with digits, after the blanks and the
// sign that the installer's reading skips (readVersionText gives 0 without).
bool startsWithDigits(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    if (*text == '+' || *text == '-') ++text;
    return *text >= '0' && *text <= '9';
}

struct KeyLine {
    std::string name;
    unsigned line;
    bool hasValue;
    std::string value;  // raw: trimmed, quotes kept
};

struct SectionLines {
    std::string name;
    unsigned line;  // 0 for the keys before the first section
    std::vector<KeyLine> keys;
    bool duplicate = false;
};

// What the installer makes of the INI for one language: the 22 texts, the
// section each came from, and the file-type values.
struct Loaded {
    std::string slots[kSlotCount];
    std::string source[kSlotCount];  // section name; empty when missing
};

// Formats a slot's text as the installer does: every text is a format with
// the texts ProgName, ProgVersion, ProgName, but ProgName and ProgVersion
// are formatted with none (they are the slots being written), so a %s in
// them shows nothing.
void formatSlot(int slot, const char* text, const Loaded& loaded, char* out, size_t size) {
    const char* args[3] = {loaded.slots[kProgName].c_str(), loaded.slots[kProgVersion].c_str(),
                           loaded.slots[kProgName].c_str()};
    formatDataText(out, size, text, args, slot <= kProgVersion ? 0 : 3);
}

class Checker {
public:
    Checker(const std::string& iniPath, const std::string& payloadDir, const CheckOptions& options,
            const CheckSink& sink)
        : iniPath_(iniPath), payloadDir_(payloadDir), options_(options), sink_(sink) {}

    CheckSummary run();

private:
    void report(Severity severity, const std::string& file, unsigned line, const std::string& message) {
        findings_.push_back({severity, file, line, message});
    }
    void iniError(unsigned line, const std::string& m) { report(Severity::Error, iniPath_, line, m); }
    void iniWarning(unsigned line, const std::string& m) { report(Severity::Warning, iniPath_, line, m); }
    void iniNote(unsigned line, const std::string& m) { report(Severity::Note, iniPath_, line, m); }

    bool readIni();
    void indexIni();
    void checkBytes();
    void checkSections();
    void checkKeys();
    void checkLanguage(const std::string& code, const Loaded& loaded);
    void checkText(const std::string& code, int slot, const Loaded& loaded);
    void checkNames(const Loaded& english);
    void checkVersion(const Loaded& english);
    void checkFileType(const Loaded& english);
    void checkCommand(const char* key, const std::string& value, bool isOpen, const Loaded& english);
    void checkPayload(const Loaded& english);
    void checkProgram(const Loaded& english);

    std::string value(const std::string& section, const char* key, size_t size = kTextSize) const {
        std::vector<char> out(size);
        size_t n = readProfileText(bytes_.data(), bytes_.size(), section.c_str(), key, out.data(), out.size());
        return std::string(out.data(), n);
    }
    Loaded load(const std::string& language) const;
    const SectionLines* section(const std::string& name) const {
        for (const SectionLines& s : sections_) {
            if (!s.duplicate && s.line != 0 && equalsIgnoringCase(s.name, name)) return &s;
        }
        return nullptr;
    }
    const KeyLine* key(const std::string& sectionName, const char* name) const {
        const SectionLines* s = section(sectionName);
        if (!s) return nullptr;
        for (const KeyLine& k : s->keys) {
            if (equalsIgnoringCase(k.name, name)) return &k;
        }
        return nullptr;
    }
    unsigned lineOf(const std::string& sectionName, const char* keyName) const {
        const KeyLine* k = key(sectionName, keyName);
        if (k) return k->line;
        const SectionLines* s = section(sectionName);
        return s ? s->line : 0;
    }
    unsigned slotLine(const Loaded& loaded, int slot) const {
        return loaded.source[slot].empty() ? 0 : lineOf(loaded.source[slot], kSlotKeys[slot]);
    }
    std::string installDir(const Loaded& english) const {
        return std::string(kInstallBase) + "\\" + english.slots[kProgDir];
    }
    std::string programPath(const std::string& relative) const {
        return (fs::path(payloadDir_) / relative).generic_string();
    }

    std::string iniPath_;
    std::string payloadDir_;
    CheckOptions options_;
    const CheckSink& sink_;
    std::string bytes_;
    ProfileEncoding encoding_ = ProfileEncoding::Ansi;
    std::vector<SectionLines> sections_;
    std::vector<std::string> languages_;  // language sections present, EN first
    std::vector<CheckFinding> findings_;
};

bool Checker::readIni() {
    std::ifstream in(iniPath_, std::ios::binary);
    if (!in) {
        iniError(0, "cannot read the setup INI: " + std::string(strerror(errno)));
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    bytes_ = text.str();
    encoding_ = profileEncoding(bytes_.data(), bytes_.size(), nullptr);
    if (encoding_ == ProfileEncoding::Utf16) {
        iniError(1, "the file is UTF-16 text; save it as Windows-1252 (ANSI) text with CR LF lines, "
                    "the form the installer's texts are written in");
        return false;
    }
    return true;
}

void Checker::indexIni() {
    ProfileCursor cursor(bytes_.data(), bytes_.size());
    ProfileLine line;
    while (cursor.next(line)) {
        std::string name(line.name, line.nameLength);
        if (line.kind == ProfileLine::Kind::Section) {
            SectionLines s;
            s.name = name;
            s.line = line.number;
            for (const SectionLines& earlier : sections_) {
                if (earlier.line != 0 && equalsIgnoringCase(earlier.name, name)) s.duplicate = true;
            }
            sections_.push_back(s);
            continue;
        }
        if (sections_.empty()) sections_.push_back({"", 0, {}, false});
        KeyLine k{name, line.number, line.value != nullptr,
                  line.value ? std::string(line.value, line.valueLength) : std::string()};
        sections_.back().keys.push_back(k);
    }
}

void Checker::checkBytes() {
    if (encoding_ == ProfileEncoding::Utf8) {
        iniError(1, "the file starts with a UTF-8 byte-order mark; the installer's texts are "
                    "Windows-1252 (ANSI) bytes: save it as Windows-1252 without the mark, or Windows "
                    "versions that do not expect the mark take it as part of the first line");
    }
    unsigned lineNumber = 1;
    bool lfOnly = false, crOnly = false, utf8Reported = false;
    size_t start = encoding_ == ProfileEncoding::Utf8 ? 3 : 0;
    for (size_t i = start; i < bytes_.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes_[i]);
        if (c == '\r') {
            if (i + 1 < bytes_.size() && bytes_[i + 1] == '\n') {
                ++i;
            } else if (!crOnly) {
                crOnly = true;
                iniWarning(lineNumber, "line ends with CR alone; the setup INI's lines end with CR LF");
            }
            ++lineNumber;
            continue;
        }
        if (c == '\n') {
            if (!lfOnly) {
                lfOnly = true;
                iniWarning(lineNumber, "line ends with LF alone; the setup INI's lines end with CR LF "
                                       "(the profile reader happens to accept LF, but editors and tools "
                                       "on Windows may join such lines)");
            }
            ++lineNumber;
            continue;
        }
        if (c == 0) {
            iniError(lineNumber, "a NUL byte; the installer reads the line only up to it");
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02X", c);
            iniWarning(lineNumber, std::string("control character ") + hex +
                                       "; it is shown as a box or not at all, or cuts the line");
        } else if (c >= 0x80 && encoding_ == ProfileEncoding::Ansi && !utf8Reported) {
            size_t length = utf8SequenceAt(bytes_, i);
            if (length > 0) {
                size_t lineStart = bytes_.rfind('\n', i);
                lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
                size_t lineEnd = bytes_.find_first_of("\r\n", i);
                std::string text = bytes_.substr(lineStart, lineEnd == std::string::npos ? std::string::npos
                                                                                         : lineEnd - lineStart);
                iniError(lineNumber, "UTF-8 text (" + std::string(text) + "); the installer reads the INI "
                                     "as Windows-1252 and shows " + shown(text) +
                                     ": save the file as Windows-1252");
                utf8Reported = true;
                i += length - 1;
            }
        }
    }
}

void Checker::checkSections() {
    for (const SectionLines& s : sections_) {
        if (s.line == 0) {
            for (const KeyLine& k : s.keys) {
                if (k.name[0] == ';') continue;
                iniWarning(k.line, "key " + k.name + " stands before any section; the installer never reads it");
                break;
            }
            continue;
        }
        std::string upper = upperAscii(s.name);
        if (s.duplicate) {
            const SectionLines* first = section(s.name);
            iniWarning(s.line, "a second section [" + s.name + "] (the first is at line " +
                                   std::to_string(first ? first->line : 0) +
                                   "); the installer reads only the first, so the keys here are never read");
            continue;
        }
        bool known = upper == upperAscii(kSettings) || upper == upperAscii(kFileType);
        if (!known && s.name.size() == 2) {
            if (findLanguage(s.name)) {
                known = true;
                languages_.push_back(upper);
            } else {
                std::string hint = "; its texts are never shown";
                for (const Hint& h : kHints) {
                    if (upper == h.written) {
                        const Language* l = findLanguage(h.code);
                        hint = std::string(" (") + l->name + " is [" + h.code + "]); " + l->name +
                               " users see the [EN] texts: name the section [" + h.code + "]";
                    }
                }
                iniWarning(s.line, "section [" + s.name + "] is never read: no Windows language's abbreviated "
                                   "name starts with " + upper + hint);
                continue;
            }
        }
        if (!known) {
            iniWarning(s.line, "section [" + s.name + "] is never read; the installer reads [Settings], "
                               "[FileType] and one section per language code such as [EN]");
            continue;
        }
        bool hasKey = false;
        for (const KeyLine& k : s.keys) hasKey = hasKey || (k.name[0] != ';');
        if (!hasKey) iniWarning(s.line, "section [" + s.name + "] has no keys");
    }
    // EN first: it is every language's fallback.
    std::stable_sort(languages_.begin(), languages_.end(),
                     [](const std::string& a, const std::string& b) { return a == kEnglish && b != kEnglish; });
    if (languages_.empty() || languages_.front() != kEnglish) {
        iniError(0, "there is no section [EN]; it holds the texts of every user whose language has no "
                    "section of its own");
    }
}

void Checker::checkKeys() {
    for (const SectionLines& s : sections_) {
        if (s.line == 0 || s.duplicate) continue;
        bool isFileType = equalsIgnoringCase(s.name, kFileType);
        bool isRead = isFileType || equalsIgnoringCase(s.name, kSettings) || findLanguage(s.name);
        if (!isRead) continue;
        for (size_t i = 0; i < s.keys.size(); ++i) {
            const KeyLine& k = s.keys[i];
            if (k.name.empty() || k.name[0] == ';') continue;
            if (k.name[0] == '[') {
                iniWarning(k.line, "a section line without its ']'; it is read as a key, and the keys after "
                                   "it stay in [" + s.name + "]");
                continue;
            }
            if (!k.hasValue) {
                iniWarning(k.line, "line " + shown(k.name) + " has no '='; the installer ignores it");
                continue;
            }
            for (size_t j = 0; j < i; ++j) {
                if (equalsIgnoringCase(s.keys[j].name, k.name)) {
                    iniWarning(k.line, "a second " + k.name + " in [" + s.name + "]; the installer reads the "
                                       "first, at line " + std::to_string(s.keys[j].line));
                    break;
                }
            }
            bool known = false;
            std::string closest;
            size_t closestDistance = 3;
            auto consider = [&](const char* candidate) {
                if (equalsIgnoringCase(k.name, candidate)) known = true;
                size_t d = editDistance(k.name, candidate);
                if (d < closestDistance) {
                    closestDistance = d;
                    closest = candidate;
                }
            };
            if (isFileType) {
                for (const char* candidate : kFileTypeKeys) consider(candidate);
            } else {
                for (const char* candidate : kSlotKeys) consider(candidate);
                for (const char* candidate : kIgnoredKeys) {
                    if (equalsIgnoringCase(k.name, candidate)) known = true;
                }
            }
            if (!known) {
                iniWarning(k.line, "key " + k.name + " in [" + s.name + "] is never read" +
                                       (closest.empty() ? std::string() : "; did you mean " + closest + "?"));
            }
        }
    }
}

Loaded Checker::load(const std::string& language) const {
    Loaded loaded;
    const std::string chain[3] = {language, kEnglish, kSettings};
    // The installer's table holds these before it reads the INI.
    loaded.slots[kProgName] = "Setup";
    loaded.slots[14] = "The program has not been installed.";
    for (int i = 0; i < kSlotCount; ++i) {
        std::string raw;
        for (const std::string& s : chain) {
            raw = value(s, kSlotKeys[i]);
            if (!raw.empty()) {
                loaded.source[i] = s;
                break;
            }
        }
        if (raw.empty()) {
            loaded.slots[i].clear();
            continue;
        }
        std::vector<char> text(raw.begin(), raw.end());
        text.push_back('\0');
        for (size_t p = 0; p + 1 < raw.size(); ++p) {
            if (text[p] == '\\' && text[p + 1] == 'n') {
                text[p] = '\r';
                text[p + 1] = '\n';
                ++p;
            }
        }
        char formatted[kTextSize];
        formatSlot(i, text.data(), loaded, formatted, sizeof formatted);
        loaded.slots[i] = formatted;
    }
    return loaded;
}

void Checker::checkLanguage(const std::string& code, const Loaded& loaded) {
    const Language* language = findLanguage(code);
    const SectionLines* own = section(code);
    for (int i = 0; i < kSlotCount; ++i) {
        const char* k = kSlotKeys[i];
        const KeyLine* line = key(code, k);
        bool empty = line && line->hasValue && value(code, k).empty();
        if (code == kEnglish) {
            if (loaded.source[i].empty()) {
                std::string where = empty ? "is empty in [EN] (line " + std::to_string(line->line) + ")"
                                          : "is missing from [EN]";
                iniError(own ? own->line : 0,
                         "key " + std::string(k) + " " + where + " and from [Settings]; users without a "
                         "language section of their own see \"Invalid Setup.Ini\" and nothing is installed");
            }
        } else if (i >= kFirstText && loaded.source[i] == kEnglish) {
            iniWarning(empty ? line->line : own->line,
                       "key " + std::string(k) + (empty ? " is empty in [" : " is missing from [") + code +
                           "]; " + language->name + " users see the English text");
        }
        if (!loaded.source[i].empty() && (code == kEnglish || loaded.source[i] == code)) checkText(code, i, loaded);
    }
}

void Checker::checkText(const std::string& code, int slot, const Loaded& loaded) {
    const char* k = kSlotKeys[slot];
    const std::string& source = loaded.source[slot];
    unsigned line = lineOf(source, k);
    std::string full = value(source, k, bytes_.size() + 2);
    if (full.size() > kTextSize - 1) {
        iniWarning(line, "the value of " + std::string(k) + " is " + std::to_string(full.size()) +
                             " bytes; the installer reads only its first 1023");
    }
    std::string raw = value(source, k);
    unsigned directives = 0;
    for (size_t p = 0; p < raw.size(); ++p) {
        if (raw[p] != '%') continue;
        if (p + 1 < raw.size() && raw[p + 1] == '%') {
            ++p;
        } else if (p + 1 < raw.size() && raw[p + 1] == 's') {
            ++directives;
            ++p;
        } else {
            iniWarning(line, std::string(k) + " holds " + shown(raw.substr(p, 2)) + ", which is shown as "
                             "written; only %s (ProgName, ProgVersion, ProgName in turn) and %% (a percent "
                             "sign) have a meaning");
        }
    }
    if (slot <= kProgVersion && directives > 0) {
        iniWarning(line, std::string(k) + " holds %s; the installer formats it with no texts, so the %s "
                                          "shows nothing");
    } else if (directives > 3) {
        iniWarning(line, std::string(k) + " holds " + std::to_string(directives) +
                             " %s; only three texts are given (ProgName, ProgVersion, ProgName), the "
                             "others show nothing");
    }
    // Formatting in the installer stops at 1023 characters.
    std::vector<char> wide(bytes_.size() * 4 + 4096);
    std::vector<char> text(raw.begin(), raw.end());
    text.push_back('\0');
    formatSlot(slot, text.data(), loaded, wide.data(), wide.size());
    if (strlen(wide.data()) > kTextSize - 1) {
        iniWarning(line, std::string(k) + " is " + std::to_string(strlen(wide.data())) +
                             " characters once formatted for [" + code + "]; the installer shows only the "
                             "first 1023");
    }
}

void Checker::checkNames(const Loaded& english) {
    struct Name {
        int slot;
        const char* consequence;
    };
    const Name names[] = {
        {kProgName, "the staging folder %TEMP%\\<ProgName>\\, the Programs-menu folder and the shortcuts "
                    "cannot be made and nothing is installed"},
        {kProgDir, "the install folder <base>\\<ProgDir> is not a folder of its own: the installer says "
                   "only that the program has not been installed"},
        {kProgFile, "the program's path <install folder>\\<ProgFile>.exe is not a file of the install "
                    "folder: the installer says only that the program has not been installed"},
    };
    for (const Name& n : names) {
        const std::string& v = english.slots[n.slot];
        if (english.source[n.slot].empty()) continue;
        std::string problem = plainNameProblem(v);
        if (v.find("\r\n") != std::string::npos) problem = "it holds \\n, which becomes a line break";
        if (!problem.empty()) {
            iniError(slotLine(english, n.slot), std::string(kSlotKeys[n.slot]) + " " + shown(v) +
                                                    " is not a plain folder or file name (" + problem + "); " +
                                                    n.consequence);
        }
    }
    const std::string& file = english.slots[kProgFile];
    if (!english.source[kProgFile].empty() && endsWithIgnoringCase(file, ".exe")) {
        iniError(slotLine(english, kProgFile),
                 "ProgFile " + shown(file) + " ends with \".exe\"; the installer adds it, so it looks for " +
                     shown(file + ".exe") + ": write ProgFile=" + file.substr(0, file.size() - 4));
    }
}

void Checker::checkVersion(const Loaded& english) {
    if (english.source[kProgVersion].empty()) return;
    const std::string& v = english.slots[kProgVersion];
    unsigned line = slotLine(english, kProgVersion);
    // Read exactly as the installer's version gate reads it.
    VersionNumbers numbers = readVersionText(v.c_str());
    bool majorDigits = startsWithDigits(v.c_str());
    size_t point = v.find('.');
    long major = numbers.major;
    long minor = numbers.hasMinor ? numbers.minor : 0;
    bool plain = !v.empty() && v.find_first_not_of("0123456789.") == std::string::npos && point != std::string::npos &&
                 point > 0 && point + 1 < v.size() && v.find('.', point + 1) == std::string::npos;
    std::string reads = std::to_string(major) + (point == std::string::npos ? "" : "." + std::to_string(minor));
    if (!majorDigits) {
        iniError(line, "ProgVersion " + shown(v) + " does not start with a number; the installer reads it as "
                       "version " + reads + ", so installing over any installed version from 1.0 on is "
                       "refused with NewerInstalled; write major.minor, as in 3.5");
    } else if (point == std::string::npos) {
        iniWarning(line, "ProgVersion " + shown(v) + " has no minor number; the installer then installs over "
                         "any installed " + std::to_string(major) + ".x, newer or not; write major.minor");
    } else if (!plain) {
        iniWarning(line, "ProgVersion " + shown(v) + " is not major.minor; the installer compares it as " +
                         reads + " and shows it as written; write " + reads);
    } else if (v.substr(point + 1) != std::to_string(minor) || v.substr(0, point) != std::to_string(major)) {
        iniWarning(line, "ProgVersion " + shown(v) + " reads as " + reads + " (numbers, not texts, are "
                         "compared); write " + reads);
    }
}

void Checker::checkCommand(const char* keyName, const std::string& raw, bool isOpen, const Loaded& english) {
    unsigned line = lineOf(kFileType, keyName);
    std::string converted = raw;
    for (size_t p = 0; p + 1 < converted.size(); ++p) {
        if (converted[p] == '\\' && converted[p + 1] == 'n') {
            iniError(line, std::string(keyName) + " holds \\n (in " + shown(raw) + "), which the installer "
                           "turns into a line break: the registered " + (isOpen ? "command" : "icon") +
                           " is broken; rename the file or folder that starts with n");
            converted[p] = '\r';
            converted[p + 1] = '\n';
        }
    }
    std::vector<char> format(converted.begin(), converted.end());
    format.push_back('\0');
    std::string dir = installDir(english);
    const char* args[1] = {dir.c_str()};
    char registered[kTextSize];
    formatDataText(registered, sizeof registered, format.data(), args, 1);
    std::string result = registered;
    size_t placeholders = 0;
    for (size_t p = 0; p + 1 < raw.size(); ++p) {
        if (raw[p] == '%' && raw[p + 1] == '%') ++p;
        else if (raw[p] == '%' && raw[p + 1] == 's') ++placeholders;
    }
    iniNote(line, std::string(keyName) + " registers (installed in " + plain(dir) + "): " + plain(result));
    if (placeholders == 0) {
        iniWarning(line, std::string(keyName) + " has no %s for the install folder; it registers " +
                             shown(result) + " wherever the program is installed");
    } else if (placeholders > 1) {
        iniWarning(line, std::string(keyName) + " has " + std::to_string(placeholders) +
                             " %s; only the first receives the install folder, the others stay empty");
    }

    // The path of the program or icon file: quoted, or up to the first
    // blank (Open) or the last comma (Icon).
    std::string path;
    if (isOpen) {
        const KeyLine* written = key(kFileType, "Open");
        bool stripped = written && written->value.size() >= 2 && written->value.front() == '"' &&
                        written->value.back() == '"';
        std::string advice = "; write the outer pair of quotes twice, as in Open=\"\"%s\\Program.exe\" \"%%1\"\"";
        if (result.empty() || result[0] != '"') {
            if (stripped) {
                iniError(line, "the profile reader removes the quotes that start and end the value of Open, so "
                               "it registers the command: " + plain(result) + "; double-clicking a document "
                               "fails" + advice);
            } else {
                iniError(line, "Open registers a command whose program path is not in quotes: " + plain(result) +
                               "; the install folder holds blanks, so Windows takes the text up to the first "
                               "blank as the program and double-clicking a document fails" + advice);
            }
            return;
        }
        size_t quotes = std::count(result.begin(), result.end(), '"');
        if (quotes % 2 != 0) {
            iniError(line, "Open registers a command whose quotes do not pair up: " + plain(result) +
                           "; double-clicking a document fails" + advice);
            return;
        }
        path = result.substr(1, result.find('"', 1) - 1);
        if (result.find("%1") == std::string::npos && result.find("%L") == std::string::npos &&
            result.find("%*") == std::string::npos) {
            iniWarning(line, "Open registers a command without %1: " + plain(result) + "; the document is not "
                             "passed to the program: write \"%%1\" for it");
        } else if (result.find("\"%1\"") == std::string::npos && result.find("%1") != std::string::npos) {
            iniWarning(line, "Open registers a command with %1 outside quotes: " + plain(result) + "; a document "
                             "whose path holds blanks arrives in pieces: write \"%%1\"");
        }
    } else {
        std::string unquoted = result;
        size_t comma = unquoted.rfind(',');
        path = comma == std::string::npos ? unquoted : unquoted.substr(0, comma);
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    }
    std::string prefix = dir + "\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return;  // outside the install folder: not ours to check
    std::string relative = path.substr(prefix.size());
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::error_code ec;
    // Windows finds files without regard to case.
    fs::path found = fs::path(payloadDir_) / "Program";
    std::string rest = relative;
    while (!rest.empty()) {
        std::string part = rest.substr(0, rest.find('/'));
        rest = rest.find('/') == std::string::npos ? "" : rest.substr(rest.find('/') + 1);
        std::string utf8;
        if (!convert("UTF-8", "CP1252", part, utf8)) utf8 = part;
        fs::path next;
        for (const auto& entry : fs::directory_iterator(found, ec)) {
            if (equalsIgnoringCase(entry.path().filename().string(), utf8)) next = entry.path();
        }
        if (next.empty()) {
            iniError(line, std::string(keyName) + " registers " + shown(path) + ", which the payload does not "
                           "hold (no Program/" + relative + "); " +
                           (isOpen ? "double-clicking a document fails" : "documents show no icon"));
            return;
        }
        found = next;
    }
}

void Checker::checkFileType(const Loaded& english) {
    std::string values[4];
    int present = 0, firstMissing = -1;
    for (int i = 0; i < 4; ++i) {
        values[i] = value(kFileType, kFileTypeKeys[i]);
        if (values[i].empty()) {
            if (firstMissing < 0) firstMissing = i;
        } else {
            ++present;
        }
    }
    if (present == 0) return;
    const SectionLines* s = section(kFileType);
    unsigned sectionLine = s ? s->line : 0;
    if (present < 4) {
        std::string read;
        for (int i = 0; i < firstMissing; ++i) read += std::string(read.empty() ? "" : ", ") + kFileTypeKeys[i];
        std::string consequence = firstMissing <= 1
            ? "no file type is registered"
            : std::string("the file type is registered with an empty ") +
                  (firstMissing == 2 ? "open command (double-clicking a document does nothing)" : "icon");
        iniError(sectionLine, std::string("key ") + kFileTypeKeys[firstMissing] + " is missing from [FileType]; "
                              "the installer reads Type, Extension, Open and Icon in this order and stops at the "
                              "first missing one, so " + consequence + ": give all four or none");
    }
    if (firstMissing == 0 || firstMissing == 1) return;
    const std::string& extension = values[1];
    if (extension[0] != '.' || extension.size() < 2) {
        iniError(lineOf(kFileType, "Extension"), "Extension " + shown(extension) + " lacks its leading point; the "
                 "installer registers HKEY_CLASSES_ROOT\\" + extension + ", which is no file extension, so "
                 "documents stay unassociated: write Extension=." + extension);
    } else if (extension.find_first_of("\\/ \t\"*?<>|:") != std::string::npos || extension.find('.', 1) != std::string::npos) {
        iniError(lineOf(kFileType, "Extension"), "Extension " + shown(extension) + " is not a plain file "
                 "extension (one point, then letters and digits); documents stay unassociated");
    }
    if (values[0].find_first_of("\\") != std::string::npos) {
        iniError(lineOf(kFileType, "Type"), "Type " + shown(values[0]) + " holds a backslash; it names one key "
                 "below HKEY_CLASSES_ROOT, and a path there registers the type in the wrong place");
    }
    if (!values[2].empty()) checkCommand("Open", values[2], true, english);
    if (!values[3].empty()) checkCommand("Icon", values[3], false, english);
}

void Checker::checkProgram(const Loaded& english) {
    if (english.source[kProgFile].empty() || !plainNameProblem(english.slots[kProgFile]).empty() ||
        endsWithIgnoringCase(english.slots[kProgFile], ".exe")) {
        return;  // reported with the name
    }
    const std::string& progFile = english.slots[kProgFile];
    unsigned line = slotLine(english, kProgFile);
    fs::path programDir = fs::path(payloadDir_) / "Program";
    std::string wanted = progFile + ".exe";
    std::string wantedUtf8;
    if (!convert("UTF-8", "CP1252", wanted, wantedUtf8)) wantedUtf8 = wanted;
    std::error_code ec;
    fs::path exe;
    std::vector<std::string> programs;
    for (const auto& entry : fs::directory_iterator(programDir, ec)) {
        std::string name = entry.path().filename().string();
        if (equalsIgnoringCase(name, wantedUtf8) && entry.is_regular_file(ec)) exe = entry.path();
        else if (endsWithIgnoringCase(name, ".exe")) programs.push_back(name);
    }
    if (ec) return;  // reported with the payload
    if (exe.empty()) {
        std::sort(programs.begin(), programs.end());
        std::string hint;
        for (const std::string& p : programs) hint += std::string(hint.empty() ? "; Program/ holds " : ", ") + p;
        iniError(line, "ProgFile " + shown(progFile) + ": the payload has no Program/" + wantedUtf8 +
                           "; the installer would report success, register and link a program that does not "
                           "exist, and start nothing" + hint);
        return;
    }
    std::string exePath = programPath("Program/" + exe.filename().string());
    ProgramInfo info;
    std::string error;
    if (!readProgramInfo(exe.string(), info, error)) {
        report(Severity::Error, exePath, 0, "cannot be read as a program: " + error);
        return;
    }
    if (!info.isPe) {
        report(Severity::Error, exePath, 0, "is not a Windows program (no PE image); the installer would "
                                            "install it, and Windows would refuse to start it");
        return;
    }
    if (info.subsystem != 2 && info.subsystem != 3) {
        report(Severity::Error, exePath, 0, "is a Windows image of subsystem " + std::to_string(info.subsystem) +
                                                ", neither a GUI nor a console program; the installer could "
                                                "not start it");
        return;
    }
    if (info.is64Bit) {
        report(Severity::Warning, exePath, 0, "is a 64-bit program; it runs only on 64-bit Windows, while the "
                                              "installer also runs on 32-bit Windows");
    }
    if (english.source[kProgVersion].empty()) return;
    const std::string& progVersion = english.slots[kProgVersion];
    unsigned versionLine = slotLine(english, kProgVersion);
    if (!info.hasVersion) {
        iniWarning(versionLine, "Program/" + exe.filename().string() + " has no version record: the uninstall "
                                "entry's DisplayVersion stays empty, VersionMajor and VersionMinor read 0, and "
                                "no later installer refuses to replace it with an older version; give the "
                                "program a version resource with file version " + progVersion);
        return;
    }
    unsigned fileMajor = info.fileVersionMs >> 16, fileMinor = info.fileVersionMs & 0xFFFF;
    std::string recorded = std::to_string(fileMajor) + "." + std::to_string(fileMinor);
    VersionNumbers offered = readVersionText(progVersion.c_str());
    if (static_cast<long>(fileMajor) == offered.major &&
        (!offered.hasMinor || static_cast<long>(fileMinor) == offered.minor)) {
        return;
    }
    // A later run of this installer compares the recorded version with its own.
    bool refusesItself = isNewerVersion(recorded.c_str(), progVersion.c_str());
    std::string message = "ProgVersion " + shown(progVersion) + " differs from the file version " + recorded +
                          " of Program/" + exe.filename().string() + ", which the installer records as "
                          "DisplayVersion and later installers compare with";
    if (refusesItself) {
        iniError(versionLine, message + "; running this installer again over its own installation is "
                                        "refused as a newer version");
    } else {
        iniWarning(versionLine, message);
    }
}

void Checker::checkPayload(const Loaded& english) {
    std::error_code ec;
    fs::path root(payloadDir_);
    if (!fs::is_directory(root, ec)) {
        report(Severity::Error, payloadDir_, 0, "is not a folder");
        return;
    }
    std::vector<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        paths.push_back(it->path());
    }
    if (ec) {
        report(Severity::Error, payloadDir_, 0, "cannot be read: " + ec.message());
        return;
    }
    std::sort(paths.begin(), paths.end());
    bool hasProgram = false, programHasFiles = false;
    uint64_t total = 0;
    std::string progName = english.slots[kProgName], progDir = english.slots[kProgDir];
    std::string staging = std::string(kStagingBase) + progName + "\\";
    std::string install = std::string(kInstallBase) + "\\" + progDir + "\\";
    std::string documents = std::string(kDocumentsBase) + progDir + "\\";
    for (const fs::path& p : paths) {
        std::string relative = p.lexically_relative(root).generic_string();
        std::string shownPath = programPath(relative);
        std::string top = relative.substr(0, relative.find('/'));
        fs::file_status status = fs::symlink_status(p, ec);
        if (top != "Program" && top != "Documents") {
            if (relative == top) {
                report(Severity::Error, shownPath, 0, "the payload folder may hold only the folders Program and "
                                                      "Documents; setup-pack refuses to pack anything else");
            }
            continue;
        }
        if (relative == "Program") hasProgram = fs::is_directory(status);
        else if (top == "Program" && fs::is_regular_file(status)) programHasFiles = true;
        if (fs::is_symlink(status) || !(fs::is_directory(status) || fs::is_regular_file(status))) {
            report(Severity::Error, shownPath, 0, "is a symbolic link or a special file; setup-pack refuses it");
            continue;
        }
        if (fs::is_regular_file(status)) {
            uint64_t size = fs::file_size(p, ec);
            total += size;
            if (size >= kFileSizeLimit) {
                report(Severity::Error, shownPath, 0, "is 4 GiB or larger; the payload cannot carry it");
            }
        }
        if (!isValidUtf8(relative)) {
            report(Severity::Error, shownPath, 0, "its name is not UTF-8; setup-pack cannot tell which "
                                                  "characters it holds and refuses it");
            continue;
        }
        std::string name = p.filename().string();
        bool inProgram = top == "Program" && relative.size() > top.size() + 1 &&
                         relative.find('/', top.size() + 1) == std::string::npos;
        if (inProgram && name[0] == '[') {
            report(Severity::Error, shownPath, 0, "the name starts with '['; in the uninstall list that setup-pack "
                                                  "writes it would end the list of files, so it and every name "
                                                  "after it would be left behind at uninstall; rename it");
        }
        std::string windows = relative;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        size_t ansiLength = ansiPathLength(windows);
        std::string nameAnsi;
        if (!convert("CP1252", "UTF-8", name, nameAnsi)) {
            std::string holders = codePagesHolding(name);
            report(Severity::Warning, shownPath, 0,
                   "the name cannot be written in Windows-1252; on Windows whose ANSI code page cannot hold "
                   "it, the install stops with \"Unable to create file.\"" +
                       (holders.empty() ? std::string("; no single ANSI code page holds it")
                                        : "; code pages that hold it: " + holders));
        }
        // Staged as <staging>\Program\...; installed as <install>\... or
        // <documents>\..., without the top folder.
        bool isProgram = top == "Program";
        size_t below = relative == top ? 0 : ansiLength - top.size() - 1;
        std::string placeShown = isProgram ? install : std::string(kDocumentsShown) + progDir + "\\";
        size_t stagedLength = staging.size() + ansiLength;
        size_t installedLength = (isProgram ? install : documents).size() + below;
        if (stagedLength + 1 > kPathLimit) {
            report(Severity::Error, shownPath, 0,
                   "its path under the staging folder " + std::string(kStagingShown) + progName + "\\ is " +
                       std::to_string(stagedLength) + " bytes; Windows paths hold 259, so the install fails "
                       "with \"Unable to create file.\"; shorten the names or ProgName");
        } else if (below > 0 && installedLength + 1 > kPathLimit) {
            report(Severity::Error, shownPath, 0,
                   "its path under " + std::string(isProgram ? "the install folder " : "the documents folder ") +
                       placeShown + " is " + std::to_string(installedLength) + " bytes; Windows paths hold 259, "
                       "so copying it fails and the install is rolled back; shorten the names or ProgDir");
        }
    }
    if (!hasProgram) {
        report(Severity::Error, payloadDir_, 0, "has no Program/ folder; the installer would install nothing "
                                                "into the install folder and register and link a program "
                                                "that does not exist");
    } else if (!programHasFiles) {
        report(Severity::Error, programPath("Program"), 0, "is empty; the installer would install nothing "
                                                         "and register and link a program that does not exist");
    }
    if (total > kImageLimit) {
        report(Severity::Warning, payloadDir_, 0,
               "holds " + std::to_string(total >> 20) + " MiB of files; an installer image over " +
                   std::to_string(kImageLimit >> 20) + " MiB cannot show its dialogs or does not start, so "
                   "setup-pack build refuses it unless the files pack smaller");
    }
}

CheckSummary Checker::run() {
    if (readIni()) {
        indexIni();
        checkBytes();
        checkSections();
        checkKeys();
        Loaded english = load(kEnglish);
        for (const std::string& code : languages_) checkLanguage(code, code == kEnglish ? english : load(code));
        if (languages_.empty() || languages_.front() != kEnglish) checkLanguage(kEnglish, english);
        checkNames(english);
        checkVersion(english);
        checkFileType(english);
        checkProgram(english);
        checkPayload(english);
    }
    // The INI's findings by line (file-wide ones first), then the payload's
    // in walk order.
    std::stable_sort(findings_.begin(), findings_.end(), [this](const CheckFinding& a, const CheckFinding& b) {
        bool aIni = a.file == iniPath_, bIni = b.file == iniPath_;
        if (aIni != bIni) return aIni;
        return aIni && a.line < b.line;
    });
    CheckSummary summary;
    for (CheckFinding f : findings_) {
        if (f.severity == Severity::Warning && options_.strict) f.severity = Severity::Error;
        if (f.severity == Severity::Error) ++summary.errors;
        if (f.severity == Severity::Warning) ++summary.warnings;
        sink_(f);
    }
    return summary;
}

}  // namespace

CheckSummary checkSetupInputs(const std::string& iniPath, const std::string& payloadDir,
                              const CheckOptions& options, const CheckSink& sink) {
    return Checker(iniPath, payloadDir, options, sink).run();
}

bool readProgramInfo(const std::string& path, ProgramInfo& info, std::string& error) {
    PeFacts facts;
    if (!readPeFactsFile(path, facts, error)) return false;
    info = ProgramInfo();
    info.isPe = facts.kind != PeKind::NotPe;
    info.is64Bit = facts.kind == PeKind::Pe32Plus;
    info.subsystem = facts.subsystem;
    info.hasVersion = facts.hasVersion;
    info.fileVersionMs = static_cast<uint32_t>(facts.version.fileVersion >> 32);
    info.productVersionMs = static_cast<uint32_t>(facts.version.productVersion >> 32);
    return true;
}

std::string formatFinding(const CheckFinding& finding) {
    static const char* const kWords[] = {"note", "warning", "error"};
    std::string text = finding.file;
    if (finding.line != 0) text += ":" + std::to_string(finding.line);
    return text + ": " + kWords[static_cast<int>(finding.severity)] + ": " + finding.message;
}
