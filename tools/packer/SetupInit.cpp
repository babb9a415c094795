// setup-pack init. See SetupInit.h.
#include "SetupInit.h"

#include <string>

#include "PeImage.h"

namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

size_t align4(size_t offset) { return (offset + 3) & ~size_t(3); }

// A UTF-16LE text as UTF-8; unpaired surrogates become U+FFFD.
std::string utf8FromUtf16(const uint8_t* p, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = le16(p + 2 * i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && le16(p + 2 * i + 2) >= 0xDC00 &&
            le16(p + 2 * i + 2) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (le16(p + 2 * i + 2) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// One node of a version block: length +0, value length +2 (in UTF-16 units
// for text values), type +4 (1 text), the key in UTF-16 with its terminator
// from +6, padding to 4, the value, padding to 4, then the children. Every
// offset is checked against the node's own length.
struct VersionNode {
    size_t begin = 0, end = 0;  // the node within the block
    std::string key;
    size_t value = 0, valueLength = 0;  // offset and length in bytes
    size_t children = 0;                // offset of the first child
};

bool readNode(const uint8_t* data, size_t size, size_t at, VersionNode& node) {
    if (at + 6 > size) return false;
    size_t length = le16(data + at);
    if (length < 6 || at + length > size) return false;
    node.begin = at;
    node.end = at + length;
    size_t p = at + 6;
    size_t keyStart = p;
    while (p + 2 <= node.end && le16(data + p) != 0) p += 2;
    if (p + 2 > node.end) return false;
    node.key = utf8FromUtf16(data + keyStart, (p - keyStart) / 2);
    node.value = align4(p + 2);
    size_t units = le16(data + at + 2);
    node.valueLength = le16(data + at + 4) == 1 ? units * 2 : units;
    if (node.value > node.end || node.valueLength > node.end - node.value) {
        node.valueLength = 0;
        node.value = std::min(node.value, node.end);
    }
    node.children = align4(node.value + node.valueLength);
    return true;
}

// Calls `visit` for each child of `parent`; stops when it returns true.
template <typename Visit>
bool eachChild(const uint8_t* data, const VersionNode& parent, Visit visit) {
    for (size_t at = parent.children; at + 6 <= parent.end;) {
        VersionNode child;
        if (!readNode(data, parent.end, at, child)) return false;
        if (visit(child)) return true;
        at = align4(child.end);
    }
    return false;
}

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

std::string versionString(const uint8_t* data, size_t size, const std::string& key) {
    VersionNode root;
    if (!readNode(data, size, 0, root) || root.key != "VS_VERSION_INFO") return "";
    std::string found;
    eachChild(data, root, [&](const VersionNode& info) {
        if (info.key != "StringFileInfo") return false;
        return eachChild(data, info, [&](const VersionNode& table) {
            return eachChild(data, table, [&](const VersionNode& string) {
                if (string.key != key || string.valueLength < 2) return false;
                std::string text = utf8FromUtf16(data + string.value, string.valueLength / 2);
                while (!text.empty() && text.back() == '\0') text.pop_back();
                found = text.substr(0, text.find('\0'));
                return !found.empty();
            });
        });
    });
    return found;
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
    const ResourceLeaf* leaf = image.find(ResourceName::number(kResourceVersion), ResourceName::number(1));
    FixedVersion fixed;
    if (leaf && readFixedVersion(leaf->data->data(), leaf->data->size(), fixed)) {
        version = std::to_string(fixed.fileVersion >> 48) + "." + std::to_string((fixed.fileVersion >> 32) & 0xFFFF);
    }
    if (leaf) name = versionString(leaf->data->data(), leaf->data->size(), "ProductName");
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
