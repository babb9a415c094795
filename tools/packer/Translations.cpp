// The shipped translations. See Translations.h.
#include "Translations.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "config/ProfileText.h"
#include "ShippedFiles.h"

namespace {

namespace fs = std::filesystem;

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool readFile(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

}  // namespace

std::vector<std::string> translationFolderCandidates(const std::string& program) {
    // The cross build's host tools.
    return shippedFileCandidates(program, "translations", {".."});
}

bool parseTranslation(const std::string& text, Translation& out) {
    if (!isUtf8Text(text)) return false;
    size_t mark = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    ProfileCursor cursor(text.data() + mark, text.size() - mark);
    ProfileLine line;
    out = Translation();
    bool inSection = false;
    while (cursor.next(line)) {
        std::string name(line.name, line.nameLength);
        if (line.kind == ProfileLine::Kind::Section) {
            if (inSection) break;
            out.section = upperAscii(name);
            inSection = true;
            continue;
        }
        if (!inSection || !line.value || name.empty() || name[0] == ';' || line.valueLength == 0) continue;
        out.keys.emplace_back(name, std::string(line.value, line.valueLength));
    }
    return inSection;
}

bool loadTranslations(const std::string& folder, const std::string& choice, std::vector<Translation>& out,
                      std::string& error) {
    out.clear();
    if (choice == "none") return true;
    std::vector<std::string> wanted;
    if (choice != "all") {
        std::stringstream list(choice);
        std::string item;
        while (std::getline(list, item, ',')) {
            if (!item.empty()) wanted.push_back(upperAscii(item));
        }
        if (wanted.empty()) {
            error = "--translations takes none, all or a list of language sections such as DE,FR,JP";
            return false;
        }
    }
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".ini") files.push_back(entry.path());
    }
    if (ec) {
        error = folder + ": cannot read the shipped translations: " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::string section = upperAscii(file.stem().string());
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), section) == wanted.end()) continue;
        std::string text;
        Translation t;
        if (!readFile(file, text) || !parseTranslation(text, t) || t.section != section) {
            error = file.string() + ": not a translation file (UTF-8 text with the section [" + section + "])";
            return false;
        }
        out.push_back(t);
    }
    for (const std::string& w : wanted) {
        bool found = std::any_of(out.begin(), out.end(), [&](const Translation& t) { return t.section == w; });
        if (!found) {
            error = "--translations " + choice + ": no shipped translation for [" + w + "] in " + folder;
            return false;
        }
    }
    return true;
}
