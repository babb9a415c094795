// The setup INI's [Settings] values and language sections, read with the
// installer's own profile reader.
#include "IniFacts.h"

#include "config/ProfileText.h"

IniFacts readIniFacts(const uint8_t* data, size_t size) {
    IniFacts facts;
    const char* text = reinterpret_cast<const char*>(data);
    const struct {
        const char* key;
        IniValue* value;
    } keys[] = {{"ProgName", &facts.progName},
                {"ProgVersion", &facts.progVersion},
                {"ProgFile", &facts.progFile},
                {"ProgDir", &facts.progDir}};
    for (const auto& k : keys) {
        char value[1024];  // the installer's buffer for a value
        size_t length = readProfileText(text, size, "Settings", k.key, value, sizeof value);
        k.value->text.assign(value, length);
    }

    // Lines and sections: only the first [Settings] counts, as for the reader.
    ProfileCursor cursor(text, size);
    ProfileLine line;
    bool inFirstSettings = false;
    bool seenSettings = false;
    while (cursor.next(line)) {
        if (line.kind == ProfileLine::Kind::Section) {
            auto is = [&](const char* name) {
                return profileNameEquals(cursor.encoding(), line.name, line.nameLength, name);
            };
            bool settings = is("Settings");
            inFirstSettings = settings && !seenSettings;
            seenSettings = seenSettings || settings;
            if (!settings && !is("FileType")) facts.languages.emplace_back(line.name, line.nameLength);
            continue;
        }
        if (!inFirstSettings) continue;
        for (const auto& k : keys) {
            if (k.value->line == 0 && profileNameEquals(cursor.encoding(), line.name, line.nameLength, k.key)) {
                k.value->line = line.number;
            }
        }
    }
    return facts;
}
