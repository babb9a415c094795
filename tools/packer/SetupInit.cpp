// setup-pack init. See SetupInit.h.
#include "SetupInit.h"

#include <string>

#include "PeImage.h"
#include "VersionRecord.h"

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether `name` can be a folder name as it is: no path separator, no
// character Windows refuses, no blank or point at the end.
bool plainFolderName(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ' || name.front() == ' ') return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool isInitPlaceholder(const std::string& value) {
    return value.size() >= 2 && value.front() == '<' && value.back() == '>';
}

bool makeStarterIni(const std::string& programPath, const Translation& english, std::string& ini,
                    std::string& error) {
    PeImage image;
    if (!image.load(programPath, error)) return false;
    std::string file = baseName(programPath);
    if (file.size() > 4 && (file.substr(file.size() - 4) == ".exe" || file.substr(file.size() - 4) == ".EXE")) {
        file.resize(file.size() - 4);
    }
    std::string name, version = "<major.minor, as in 1.0>";
    const VersionRecord record = readVersionRecord(image);
    if (record.found) {
        const uint64_t fileVersion = record.fixed.fileVersion;
        version = std::to_string(fileVersion >> 48) + "." + std::to_string((fileVersion >> 32) & 0xFFFF);
    }
    for (const auto& text : record.texts) {
        if (text.first == "ProductName" && !text.second.empty()) {
            name = text.second;
            break;
        }
    }
    if (!isUtf8Text(name)) name.clear();
    if (name.empty()) name = file;
    std::string dir = plainFolderName(name) ? name : file;

    ini = "; Setup INI of " + name + ", written by setup-pack init. UTF-8 text: setup-pack build\n"
          "; writes each language in the code page its users' Windows reads.\n"
          "[Settings]\n"
          "ProgName=" + name + "\n"
          "ProgVersion=" + version + "\n"
          "ProgFile=" + file + "\n"
          "ProgDir=" + dir + "\n"
          "\n"
          "; The document type the program opens, registered at install: remove the ';'\n"
          "; of these lines to use it. %s is the install folder.\n"
          "; [FileType]\n"
          "; Type=" + file + ".Document\n"
          "; Extension=." + lowerAscii(file) + "\n"
          "; Open=\"\"%s\\" + file + ".exe\" \"%%1\"\"\n"
          "; Icon=%s\\" + file + ".exe,0\n"
          "\n"
          "; The texts of every user whose language has no section of its own. In the\n"
          "; texts, %s stands for ProgName, ProgVersion and ProgName in turn, \\n for a\n"
          "; line break and & before the letter of a button's access key.\n"
          "[EN]\n"
          "ProgDesc=<what the program does, in a few words>\n"
          "DirDesc=<what the documents folder holds, such as: Documents of %s>\n"
          "ExtDesc=<the name of the program's documents, such as: %s document>\n";
    for (const auto& key : english.keys) ini += key.first + "=" + key.second + "\n";
    ini += "\n"
           "; Languages: setup-pack build adds the shipped translations of the standard\n"
           "; texts above for many languages (see --translations). A language of your\n"
           "; own is a section named by its two letters ([DE], [JP], [RU], ...) with the\n"
           "; keys of [EN] it changes; ProgDesc, DirDesc and ExtDesc are yours to translate,\n"
           "; its users see the [EN] text of every key it lacks.\n";
    return true;
}
