// setup-pack info: a program's version record. See VersionRecord.h.
#include "VersionRecord.h"

namespace {

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

size_t align4(size_t offset) { return (offset + 3) & ~size_t(3); }

std::string utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// One node of the resource, read within [offset, limit).
struct Node {
    size_t offset = 0, end = 0;  // the node, children included
    uint16_t valueLength = 0, type = 0;
    std::u16string key;
    size_t value = 0;     // where the value starts
    size_t children = 0;  // where the first child starts
};

// A UTF-16 text of at most `units` units at `offset`, up to its terminator.
std::u16string textAt(const uint8_t* data, size_t offset, size_t limit, size_t units) {
    std::u16string text;
    for (size_t p = offset; p + 2 <= limit && text.size() < units; p += 2) {
        char16_t c = read16(data + p);
        if (c == 0) break;
        text += c;
    }
    return text;
}

bool readNode(const uint8_t* data, size_t offset, size_t limit, Node& node) {
    if (offset + 6 > limit) return false;
    size_t length = read16(data + offset);
    if (length < 6 || offset + length > limit) return false;
    node.offset = offset;
    node.end = offset + length;
    node.valueLength = read16(data + offset + 2);
    node.type = read16(data + offset + 4);
    size_t p = offset + 6;
    node.key.clear();
    for (;; p += 2) {
        if (p + 2 > node.end) return false;
        char16_t c = read16(data + p);
        if (c == 0) break;
        node.key += c;
    }
    node.value = align4(p + 2);
    size_t valueBytes = node.type == 1 ? size_t(node.valueLength) * 2 : node.valueLength;
    if (node.value > node.end) node.value = node.end;
    node.children = align4(node.value + valueBytes);
    if (node.children > node.end) node.children = node.end;
    return true;
}

// Calls `visit` for each child of `parent`.
template <typename Visit>
void eachChild(const uint8_t* data, const Node& parent, Visit visit) {
    Node child;
    for (size_t p = parent.children; p < parent.end && readNode(data, p, parent.end, child); p = align4(child.end)) {
        visit(child);
    }
}

}  // namespace

bool readVersionTexts(const uint8_t* data, size_t size, std::vector<std::pair<std::string, std::string>>& texts) {
    texts.clear();
    Node root;
    if (!readNode(data, 0, size, root)) return false;
    eachChild(data, root, [&](const Node& info) {
        if (info.key != u"StringFileInfo") return;
        eachChild(data, info, [&](const Node& table) {
            eachChild(data, table, [&](const Node& text) {
                std::u16string value = textAt(data, text.value, text.end, text.valueLength);
                texts.emplace_back(utf8(text.key), utf8(value));
            });
        });
    });
    return true;
}

VersionRecord readVersionRecord(const PeImage& image) {
    VersionRecord record;
    for (const ResourceLeaf& leaf : image.resources()) {
        if (!leaf.type.isId || leaf.type.id != kResourceVersion) continue;
        record.found = readFixedVersion(leaf.data->data(), leaf.data->size(), record.fixed);
        readVersionTexts(leaf.data->data(), leaf.data->size(), record.texts);
        break;
    }
    return record;
}

std::string versionText(uint64_t v) {
    return std::to_string(v >> 48) + "." + std::to_string(v >> 32 & 0xFFFF) + "." + std::to_string(v >> 16 & 0xFFFF) +
           "." + std::to_string(v & 0xFFFF);
}

std::string describeVersionRecord(const VersionRecord& record) {
    if (!record.found) {
        return "no version record: the installer leaves the uninstall entry's DisplayVersion empty and "
               "VersionMajor and VersionMinor at 0, writes no version subkey under the vendor key, and no "
               "later installer refuses to replace it with an older version\n";
    }
    std::string out = "file version: " + versionText(record.fixed.fileVersion) + "\n" +
                      "product version: " + versionText(record.fixed.productVersion) + "\n";
    for (const auto& text : record.texts) out += text.first + ": " + text.second + "\n";
    uint64_t file = record.fixed.fileVersion;
    out += "ProgVersion to write: " + std::to_string(file >> 48) + "." + std::to_string(file >> 32 & 0xFFFF) +
           " (the installer records the file version's major and minor numbers)\n";
    return out;
}
