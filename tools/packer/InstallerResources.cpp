// Version block and icon group resources. See InstallerResources.h.
#include "InstallerResources.h"

#include <algorithm>
#include <set>

#include "driver/VersionText.h"

namespace {

void put16(ByteVector& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(ByteVector& out, uint32_t v) {
    put16(out, static_cast<uint16_t>(v));
    put16(out, static_cast<uint16_t>(v >> 16));
}
void set16(ByteVector& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void pad4(ByteVector& out) {
    while (out.size() % 4) out.push_back(0);
}

std::u16string ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

// One node of a version block: length +0, value length +2, type +4 (1 text,
// 0 binary), the key in UTF-16 with its terminator from +6, padding to 4,
// the value, then the children, each starting at a multiple of 4. The
// length covers the node up to the end of its last child.
ByteVector versionNode(const std::u16string& key, const ByteVector& value, uint16_t valueLength, uint16_t type,
                       const std::vector<ByteVector>& children) {
    ByteVector out(6, 0);
    for (char16_t c : key) put16(out, c);
    put16(out, 0);
    pad4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const ByteVector& child : children) {
        pad4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    set16(out, 0, static_cast<uint16_t>(out.size()));
    set16(out, 2, valueLength);
    set16(out, 4, type);
    return out;
}

ByteVector stringNode(const char* key, const std::u16string& value) {
    ByteVector bytes;
    for (char16_t c : value) put16(bytes, c);
    put16(bytes, 0);
    return versionNode(ascii(key), bytes, static_cast<uint16_t>(value.size() + 1), 1, {});
}

// Windows-1252 bytes 0x80 to 0x9F; the rest equal their code points (0
// marks the five unassigned bytes, which stay as they are).
const char16_t kHighControls[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

void putUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Planes and bits per pixel of one icon image, read from the image itself
// (the icon file's directory may give 0 for both, and the shell ranks the
// images of a group by them):
//   a PNG image: the signature, then the IHDR chunk (length +8, "IHDR" +12,
//     width +16, height +20, bit depth +24, colour type +25); one plane of
//     bit depth times the channels of the colour type;
//   else a device-independent bitmap: its header's size +0 (40 or more),
//     planes +12, bits per pixel +14.
// False when the image is neither.
bool imageDepth(const uint8_t* image, size_t size, uint16_t& planes, uint16_t& bits) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::equal(kPng, kPng + 8, image)) {
        if (size < 26 || std::string(reinterpret_cast<const char*>(image) + 12, 4) != "IHDR") return false;
        static const uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type; 0: none such
        uint8_t depth = image[24], type = image[25];
        if (type > 6 || kChannels[type] == 0 || depth == 0 || depth > 16) return false;
        planes = 1;
        bits = static_cast<uint16_t>(depth * kChannels[type]);
        return true;
    }
    if (size < 40 || le32(image) < 40) return false;
    planes = le16(image + 12);
    bits = le16(image + 14);
    return planes == 1 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

}  // namespace

bool fixedVersionFromText(const std::string& text, uint64_t& version, std::string& reason) {
    VersionNumbers high = readVersionText(text.c_str());
    size_t second = text.find('.');
    if (second != std::string::npos) second = text.find('.', second + 1);
    VersionNumbers low = second == std::string::npos ? VersionNumbers{0, 0, false} : readVersionText(text.c_str() + second + 1);
    const int parts[4] = {high.major, high.minor, low.major, low.minor};
    version = 0;
    for (int part : parts) {
        if (part < 0 || part > 0xFFFF) {
            reason = "has the part " + std::to_string(part) + ", which the version record cannot hold (each of its "
                     "four parts is a number from 0 to 65535), so Windows would show another file version";
            version = 0;
            return false;
        }
        version = version << 16 | static_cast<uint64_t>(part);
    }
    return true;
}

bool buildVersionBlock(const VersionTexts& texts, uint64_t version, ByteVector& block, std::string& reason) {
    // The fixed record: signature, structure version 1.0, file and product
    // versions (high, low), flags mask, flags, OS (NT, 32-bit Windows), type
    // (application), subtype, date (none).
    ByteVector fixed;
    const uint32_t words[13] = {0xFEEF04BD, 0x00010000, uint32_t(version >> 32), uint32_t(version),
                                uint32_t(version >> 32), uint32_t(version), 0x3F, 0, 0x00040004, 1, 0, 0, 0};
    for (uint32_t w : words) put32(fixed, w);

    std::vector<ByteVector> strings;
    if (!texts.companyName.empty()) strings.push_back(stringNode("CompanyName", texts.companyName));
    strings.push_back(stringNode("FileDescription", texts.fileDescription));
    strings.push_back(stringNode("FileVersion", texts.productVersion));
    strings.push_back(stringNode("InternalName", ascii("setup")));
    strings.push_back(stringNode("OriginalFilename", ascii("setup.exe")));
    strings.push_back(stringNode("ProductName", texts.productName));
    strings.push_back(stringNode("ProductVersion", texts.productVersion));
    ByteVector table = versionNode(ascii("000004B0"), {}, 0, 1, strings);
    ByteVector stringInfo = versionNode(ascii("StringFileInfo"), {}, 0, 1, {table});
    ByteVector translation;
    put16(translation, 0x0000);  // language neutral
    put16(translation, 1200);    // Unicode
    ByteVector var = versionNode(ascii("Translation"), translation, 4, 0, {});
    ByteVector varInfo = versionNode(ascii("VarFileInfo"), {}, 0, 1, {var});
    block = versionNode(ascii("VS_VERSION_INFO"), fixed, static_cast<uint16_t>(fixed.size()), 0, {stringInfo, varInfo});
    // Every node lies inside the outermost one: when its length fits 16
    // bits, so do all the others.
    if (block.size() > 0xFFFF) {
        reason = "the version block would be " + std::to_string(block.size()) + " bytes, more than the 65535 its "
                 "16-bit lengths can describe, and Windows would read its texts wrongly";
        block.clear();
        return false;
    }
    return true;
}

std::u16string utf16FromWindows1252(const std::string& text) {
    std::u16string out;
    for (char c : text) {
        uint8_t b = static_cast<uint8_t>(c);
        out.push_back(b >= 0x80 && b < 0xA0 && kHighControls[b - 0x80] ? kHighControls[b - 0x80] : char16_t(b));
    }
    return out;
}

std::string utf8FromWindows1252(const std::string& text) {
    std::string out;
    for (char16_t c : utf16FromWindows1252(text)) putUtf8(out, c);
    return out;
}

bool utf16FromUtf8(const std::string& text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        static const uint32_t masks[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        static const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        uint32_t c = lead & masks[length];
        for (size_t k = 1; k < length; ++k) {
            uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = c << 6 | (next & 0x3F);
        }
        if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 | (c - 0x10000) >> 10));
            out.push_back(static_cast<char16_t>(0xDC00 | ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

// An .ico file: reserved 0 (+0), type 1 (+2), image count (+4), then 16 bytes
// an image: width +0, height +1, colour count +2, reserved +3, planes +4,
// bit count +6, byte size +8, file offset +12.
// The icon group resource: the same 6-byte header, then 14 bytes an image:
// the first 12 bytes of its file entry and the resource number of the icon.
bool replaceIconGroup(PeImage& image, uint16_t groupId, const ByteVector& ico, std::string& error) {
    const ResourceName iconType = ResourceName::number(kResourceIcon);
    const ResourceName groupType = ResourceName::number(kResourceGroupIcon);
    if (ico.size() < 6 || le16(&ico[0]) != 0 || le16(&ico[2]) != 1 || le16(&ico[4]) == 0) {
        error = "not an icon file (no icon header, or no images)";
        return false;
    }
    uint16_t count = le16(&ico[4]);
    if (6 + 16 * size_t(count) > ico.size()) {
        error = "the icon file's image table is cut short";
        return false;
    }
    // Every image is copied into a resource of its own: images of a sound
    // file do not overlap, so the copies add up to less than the file.
    uint64_t copied = 0;
    for (uint16_t i = 0; i < count; ++i) {
        uint32_t size = le32(&ico[6 + 16 * i + 8]), offset = le32(&ico[6 + 16 * i + 12]);
        if (size == 0 || offset > ico.size() || size > ico.size() - offset) {
            error = "icon image " + std::to_string(i + 1) + " lies outside the icon file";
            return false;
        }
        uint16_t planes, bits;
        if (!imageDepth(&ico[offset], size, planes, bits)) {
            error = "icon image " + std::to_string(i + 1) + " is neither a PNG image nor a bitmap with one plane "
                    "of 1, 4, 8, 16, 24 or 32 bits per pixel";
            return false;
        }
        copied += size;
        if (copied > ico.size()) {
            error = "the icon file's images add up to more than the file's size (images share their bytes)";
            return false;
        }
    }
    // Icons of the old group that no other group uses go with it.
    std::set<uint16_t> oldIcons, keptIcons;
    for (const ResourceLeaf& leaf : image.resources()) {
        if (leaf.type != groupType || !leaf.name.isId) continue;
        const ByteVector& g = *leaf.data;
        size_t entries = g.size() >= 6 ? le16(&g[4]) : 0;
        for (size_t i = 0; i < entries && 6 + 14 * (i + 1) <= g.size(); ++i) {
            (leaf.name.id == groupId ? oldIcons : keptIcons).insert(le16(&g[6 + 14 * i + 12]));
        }
    }
    for (uint16_t id : oldIcons) {
        if (!keptIcons.count(id)) image.removeResource(iconType, ResourceName::number(id));
    }
    image.removeResource(groupType, ResourceName::number(groupId));
    uint32_t nextId = 1;
    for (const ResourceLeaf& leaf : image.resources()) {
        if (leaf.type == iconType && leaf.name.isId) nextId = std::max<uint32_t>(nextId, leaf.name.id + 1u);
    }
    if (nextId + count > 0x10000) {
        error = "no free icon numbers are left in the stub";
        return false;
    }
    auto group = std::make_shared<ByteVector>();
    put16(*group, 0);
    put16(*group, 1);
    put16(*group, count);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* entry = &ico[6 + 16 * i];
        uint32_t size = le32(entry + 8), offset = le32(entry + 12);
        // Width, height, colour count and the reserved byte as the icon file
        // gives them; planes and bit count from the image; its size.
        uint16_t planes = 0, bits = 0;
        imageDepth(&ico[offset], size, planes, bits);
        group->insert(group->end(), entry, entry + 4);
        put16(*group, planes);
        put16(*group, bits);
        put32(*group, size);
        put16(*group, static_cast<uint16_t>(nextId + i));
        ResourceLeaf icon{iconType, ResourceName::number(static_cast<uint16_t>(nextId + i)), kLanguageNeutral, 0,
                          std::make_shared<const ByteVector>(ico.begin() + offset, ico.begin() + offset + size)};
        image.setResource(std::move(icon));
    }
    image.setResource({groupType, ResourceName::number(groupId), kLanguageNeutral, 0, group});
    return true;
}
