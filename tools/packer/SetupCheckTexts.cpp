#include "SetupCheckParts.h"

#include <string.h>

#include "common/Format.h"

namespace setup_check {

// Formats a slot's text as the installer does: every text is a format with
// the texts ProgName, ProgVersion, ProgName, but ProgName and ProgVersion
// are formatted with none (they are the slots being written), so a %s in
// them shows nothing.
void formatSlot(int slot, const char* text, const Loaded& loaded, char* out, size_t size) {
    const char* args[3] = {loaded.slots[kProgName].c_str(), loaded.slots[kProgVersion].c_str(),
                           loaded.slots[kProgName].c_str()};
    formatDataText(out, size, text, args, slot <= kProgVersion ? 0 : 3);
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

}  // namespace setup_check
