#include "SetupCheckParts.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <sstream>

namespace setup_check {

// The length of a valid UTF-8 sequence of two bytes or more at p, else 0.
size_t utf8SequenceAt(const std::string& text, size_t p) {
    unsigned char first = static_cast<unsigned char>(text[p]);
    size_t length = first >= 0xC2 && first <= 0xDF ? 2 : first >= 0xE0 && first <= 0xEF ? 3
                  : first >= 0xF0 && first <= 0xF4 ? 4 : 0;
    if (length == 0 || p + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[p + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool Checker::readIni() {
    std::ifstream in(iniPath_, std::ios::binary);
    if (!in) {
        iniError(0, "cannot read the setup INI: " + std::string(strerror(errno)));
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    bytes_ = text.str();
    encoding_ = profileEncoding(bytes_.data(), bytes_.size(), nullptr);
    if (encoding_ == ProfileEncoding::Utf16) {
        iniError(1, "the file is UTF-16 text; save it as Windows-1252 (ANSI) text with CR LF lines, "
                    "the form the installer's texts are written in");
        return false;
    }
    return true;
}

void Checker::indexIni() {
    ProfileCursor cursor(bytes_.data(), bytes_.size());
    ProfileLine line;
    while (cursor.next(line)) {
        std::string name(line.name, line.nameLength);
        if (line.kind == ProfileLine::Kind::Section) {
            SectionLines s;
            s.name = name;
            s.line = line.number;
            for (const SectionLines& earlier : sections_) {
                if (earlier.line != 0 && equalsIgnoringCase(earlier.name, name)) s.duplicate = true;
            }
            sections_.push_back(s);
            continue;
        }
        if (sections_.empty()) sections_.push_back({"", 0, {}, false});
        KeyLine k{name, line.number, line.value != nullptr,
                  line.value ? std::string(line.value, line.valueLength) : std::string()};
        sections_.back().keys.push_back(k);
    }
}

void Checker::checkBytes() {
    if (encoding_ == ProfileEncoding::Utf8) {
        iniError(1, "the file starts with a UTF-8 byte-order mark; the installer's texts are "
                    "Windows-1252 (ANSI) bytes: save it as Windows-1252 without the mark, or Windows "
                    "versions that do not expect the mark take it as part of the first line");
    }
    unsigned lineNumber = 1;
    bool lfOnly = false, crOnly = false, utf8Reported = false;
    size_t start = encoding_ == ProfileEncoding::Utf8 ? 3 : 0;
    for (size_t i = start; i < bytes_.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes_[i]);
        if (c == '\r') {
            if (i + 1 < bytes_.size() && bytes_[i + 1] == '\n') {
                ++i;
            } else if (!crOnly) {
                crOnly = true;
                iniWarning(lineNumber, "line ends with CR alone; the setup INI's lines end with CR LF");
            }
            ++lineNumber;
            continue;
        }
        if (c == '\n') {
            if (!lfOnly) {
                lfOnly = true;
                iniWarning(lineNumber, "line ends with LF alone; the setup INI's lines end with CR LF "
                                       "(the profile reader happens to accept LF, but editors and tools "
                                       "on Windows may join such lines)");
            }
            ++lineNumber;
            continue;
        }
        if (c == 0) {
            iniError(lineNumber, "a NUL byte; the installer reads the line only up to it");
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02X", c);
            iniWarning(lineNumber, std::string("control character ") + hex +
                                       "; it is shown as a box or not at all, or cuts the line");
        } else if (c >= 0x80 && encoding_ == ProfileEncoding::Ansi && !utf8Reported) {
            size_t length = utf8SequenceAt(bytes_, i);
            if (length > 0) {
                size_t lineStart = bytes_.rfind('\n', i);
                lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
                size_t lineEnd = bytes_.find_first_of("\r\n", i);
                std::string text = bytes_.substr(lineStart, lineEnd == std::string::npos ? std::string::npos
                                                                                         : lineEnd - lineStart);
                iniError(lineNumber, "UTF-8 text (" + std::string(text) + "); the installer reads the INI "
                                     "as Windows-1252 and shows " + shown(text) +
                                     ": save the file as Windows-1252");
                utf8Reported = true;
                i += length - 1;
            }
        }
    }
}

}  // namespace setup_check
