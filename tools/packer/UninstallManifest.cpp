#include "UninstallManifest.h"

#include <algorithm>
#include <cstring>

const char kUninstallManifestName[] = "setup-uninstall.ini";

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool isNamingKey(const std::string& key) {
    return key == "progname" || key == "progversion" || key == "progfile" || key == "progdir";
}

// Which lines of a section the uninstaller needs.
bool keepLine(const std::string& section, const std::string& key) {
    if (section == "filetype") return key == "type" || key == "extension";
    return isNamingKey(key) || key.compare(0, 9, "uninstall") == 0;
}

struct Section {
    std::string header;             // the line as written, without its end
    std::vector<std::string> lines; // kept key lines, as written
};

// Splits the INI into its sections, keeping only the lines the uninstaller
// reads. A section named Files would collide with the name list: left out
// (the installer does not read it either).
std::vector<Section> keptSections(const std::string& ini, bool& hasName, bool& hasFile, bool& hasDir) {
    std::vector<Section> sections;
    std::string current;  // lower-case name of the section being read
    size_t start = 0;
    while (start < ini.size()) {
        size_t end = ini.find('\n', start);
        if (end == std::string::npos) end = ini.size();
        std::string line = ini.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string text = trimmed(line);
        if (text.empty() || text[0] == ';') continue;
        if (text[0] == '[') {
            size_t close = text.find(']');
            current = lowerAscii(trimmed(text.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            if (current != "files") sections.push_back(Section{"[" + trimmed(text.substr(1, close - 1)) + "]", {}});
            continue;
        }
        size_t equals = text.find('=');
        if (sections.empty() || current == "files" || equals == std::string::npos) continue;
        std::string key = lowerAscii(trimmed(text.substr(0, equals)));
        if (!keepLine(current, key)) continue;
        if (!trimmed(text.substr(equals + 1)).empty()) {
            hasName = hasName || key == "progname";
            hasFile = hasFile || key == "progfile";
            hasDir = hasDir || key == "progdir";
        }
        sections.back().lines.push_back(line);
    }
    return sections;
}

}  // namespace

bool buildUninstallManifest(const std::string& setupIni, const std::vector<std::string>& programEntries,
                            std::string& manifest, std::string& error) {
    const std::string ownName = kUninstallManifestName;
    for (const std::string& entry : programEntries) {
        if (lowerAscii(entry) == ownName || lowerAscii(entry) == ownName + "\\") {
            error = "Program\\" + entry + ": this name is reserved for the uninstall information that setup-pack "
                    "adds to the program folder; rename the file";
            return false;
        }
        // A list line is a name only while it does not start with '[': the
        // uninstaller takes such a line for the next section.
        if (!entry.empty() && entry[0] == '[') {
            error = "Program\\" + entry + ": a name that starts with '[' directly in the program folder would end "
                    "the uninstaller's list of files, so it and every name after it would be left behind at "
                    "uninstall; rename it";
            return false;
        }
    }
    bool hasName = false, hasFile = false, hasDir = false;
    std::vector<Section> sections = keptSections(setupIni, hasName, hasFile, hasDir);
    if (!hasName || !hasFile || !hasDir) {
        error = "the setup INI lacks ProgName, ProgFile or ProgDir; the uninstaller could not find the install";
        return false;
    }

    manifest = "; What \"-u\" removes, written by setup-pack from the setup INI and the Program folder.\r\n";
    for (const Section& section : sections) {
        if (section.lines.empty()) continue;
        manifest += section.header + "\r\n";
        for (const std::string& line : section.lines) manifest += line + "\r\n";
    }
    // The manifest sits directly in the install folder, at its byte-order
    // place among the top-level names, as the archive stores it.
    std::vector<std::string> names = programEntries;
    auto place = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return name.substr(0, name.find('\\')) > ownName;
    });
    names.insert(place, ownName);
    manifest += "[Files]\r\n";
    for (const std::string& name : names) manifest += name + "\r\n";
    return true;
}
