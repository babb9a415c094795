// A minimal reading of the setup INI's lines: "[Section]" and "Key=Value".
#include "IniFacts.h"

namespace {

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

IniFacts readIniFacts(const uint8_t* data, size_t size) {
    IniFacts facts;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string section;
    bool firstSettings = false, seenSettings = false;
    unsigned lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = lower(trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            firstSettings = section == "settings" && !seenSettings;
            if (section == "settings") seenSettings = true;
            if (section != "settings" && section != "filetype") facts.languages.push_back(trim(line.substr(1, close - 1)));
            continue;
        }
        size_t equals = line.find('=');
        if (!firstSettings || equals == std::string::npos) continue;
        std::string key = lower(trim(line.substr(0, equals)));
        std::string value = trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        IniValue* slot = key == "progname" ? &facts.progName : key == "progversion" ? &facts.progVersion
                       : key == "progfile" ? &facts.progFile : key == "progdir" ? &facts.progDir : nullptr;
        if (slot && slot->line == 0) *slot = {value, lineNumber};
    }
    return facts;
}
