#include "SetupCheckParts.h"

#include <algorithm>

namespace setup_check {

namespace {

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

}  // namespace

const Language* findLanguage(const std::string& code) {
    for (const Language& l : kLanguages) {
        if (equalsIgnoringCase(code, l.code)) return &l;
    }
    return nullptr;
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

}  // namespace setup_check
