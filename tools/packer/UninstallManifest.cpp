#include "UninstallManifest.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/ProfileText.h"
#include "uninstall/ManifestFiles.h"

const char kUninstallManifestName[] = "setup-uninstall.ini";

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool isNamingKey(const std::string& key) {
    return key == "progname" || key == "progversion" || key == "progfile" || key == "progdir";
}

// Which lines of a section the uninstaller needs.
bool keepLine(const std::string& section, const std::string& key) {
    if (section == "filetype") return key == "type" || key == "extension";
    // A language section's CodePage: the uninstaller, like the installer,
    // uses the section only where it is the system's code page.
    return isNamingKey(key) || key == "codepage" || key.compare(0, 9, "uninstall") == 0;
}

struct Section {
    std::string header;             // the line as written, without its end
    std::vector<std::string> lines; // kept key lines, as written
};

// Splits the INI into its sections, keeping only the lines the uninstaller
// reads. The lines are those of the installer's profile reader: they end at
// CR, LF or CR LF, and a section line is a '[' line that holds a ']'. A
// section named Files would collide with the name list: left out (the
// installer does not read it either).
std::vector<Section> keptSections(const std::string& ini, bool& hasName, bool& hasFile, bool& hasDir) {
    std::vector<Section> sections;
    std::string current;  // lower-case name of the section being read
    ProfileCursor cursor(ini.data(), ini.size());
    ProfileLine line;
    while (cursor.next(line)) {
        std::string name(line.name, line.nameLength);
        if (line.kind == ProfileLine::Kind::Section) {
            current = lowerAscii(name);
            if (current != "files") sections.push_back(Section{"[" + name + "]", {}});
            continue;
        }
        // Comments (";Key=x" is a key named ";Key") are never kept keys.
        if (sections.empty() || current == "files" || !line.value) continue;
        std::string key = lowerAscii(name);
        if (!keepLine(current, key)) continue;
        if (line.valueLength != 0) {
            hasName = hasName || key == "progname";
            hasFile = hasFile || key == "progfile";
            hasDir = hasDir || key == "progdir";
        }
        sections.back().lines.emplace_back(line.text, line.length);
    }
    return sections;
}

}  // namespace

namespace {

// What both forms check and write before the name list: false with a reason.
bool manifestHead(const std::string& setupIni, const std::vector<std::string>& names, std::string& manifest,
                  std::string& error) {
    const std::string ownName = kUninstallManifestName;
    for (const std::string& entry : names) {
        std::string lower = lowerAscii(entry);
        if (lower == ownName || lower == ownName + "\\" ||
            isVersionManifestName(lower.data(), lower.back() == '\\' ? lower.size() - 1 : lower.size())) {
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
    return true;
}

// Inserts `name` among the top-level names at its byte-order place, as the
// archive stores it.
void insertTopLevel(std::vector<std::string>& names, const std::string& name) {
    auto place = std::find_if(names.begin(), names.end(), [&](const std::string& other) {
        return other.substr(0, other.find('\\')) > name;
    });
    names.insert(place, name);
}

void appendList(std::string& manifest, const std::vector<std::string>& names) {
    manifest += "[Files]\r\n";
    for (const std::string& name : names) manifest += name + "\r\n";
}

// FNV-1a, 64 bits: a name per distinct manifest, the same for the same
// inputs on every build machine.
std::string contentsId(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

}  // namespace

bool buildUninstallManifest(const std::string& setupIni, const std::vector<std::string>& programEntries,
                            std::string& manifest, std::string& error) {
    if (!manifestHead(setupIni, programEntries, manifest, error)) return false;
    std::vector<std::string> names = programEntries;
    insertTopLevel(names, kUninstallManifestName);
    appendList(manifest, names);
    return true;
}

bool buildUninstallManifest(const std::string& setupIni, const std::vector<ManifestEntry>& programEntries,
                            std::string& manifest, std::string& versionName, std::string& error) {
    std::vector<std::string> names;
    for (const ManifestEntry& entry : programEntries) names.push_back(entry.name);
    if (!manifestHead(setupIni, names, manifest, error)) return false;
    std::string records = "[Records]\r\n";
    for (const ManifestEntry& entry : programEntries) {
        if (entry.name.empty() || entry.name.back() == '\\') continue;
        records += std::to_string(entry.size) + " " + std::to_string(entry.lastWriteTime) + " " + entry.name + "\r\n";
    }
    std::string listed;
    appendList(listed, names);
    versionName = "setup-uninstall." + contentsId(manifest + listed + records) + ".ini";
    insertTopLevel(names, versionName);
    insertTopLevel(names, kUninstallManifestName);
    appendList(manifest, names);
    manifest += records;
    return true;
}
