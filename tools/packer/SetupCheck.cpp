#include "SetupCheck.h"

#include <iconv.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "PeImage.h"
#include "SetupCheckParts.h"

namespace setup_check {

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) { return upperAscii(a) == upperAscii(b); }

bool endsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && equalsIgnoringCase(text.substr(text.size() - end.size()), end);
}

// Converts `text` from one encoding to another with iconv; false when a
// character has no place in the target.
bool convert(const char* to, const char* from, const std::string& text, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = text;
    std::vector<char> buffer(text.size() * 4 + 8);
    char* in = input.data();
    size_t inLeft = input.size();
    char* o = buffer.data();
    size_t outLeft = buffer.size();
    bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (ok) out.assign(buffer.data(), static_cast<size_t>(o - buffer.data()));
    return ok;
}

// A Windows-1252 text as UTF-8, in quotes, for a message; line breaks as \n.
std::string shown(const std::string& ansi) {
    std::string escaped;
    for (size_t i = 0; i < ansi.size(); ++i) {
        char c = ansi[i];
        if (c == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') {
            escaped += "\\n";
            ++i;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            escaped += hex;
        } else {
            escaped += c;
        }
    }
    std::string utf8;
    if (!convert("UTF-8", "CP1252", escaped, utf8)) {
        utf8.clear();
        for (char c : escaped) utf8 += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    }
    return "\"" + utf8 + "\"";
}

// A Windows-1252 text as UTF-8 for a message, without quotes around it.
std::string plain(const std::string& ansi) {
    std::string quoted = shown(ansi);
    return quoted.substr(1, quoted.size() - 2);
}

std::string asWritten(const std::string& ansi) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = ansi.find("\r\n", from)) != std::string::npos; from = at + 2) {
        out += plain(ansi.substr(from, at - from)) + "<line break>";
    }
    return out + plain(ansi.substr(from));
}

// Case-blind edit distance, for "did you mean" on misspelt keys.
size_t editDistance(const std::string& a, const std::string& b) {
    std::string x = upperAscii(a), y = upperAscii(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

CheckSummary Checker::run() {
    if (readIni()) {
        indexIni();
        checkBytes();
        checkSections();
        checkKeys();
        Loaded english = load(kEnglish);
        for (const std::string& code : languages_) checkLanguage(code, code == kEnglish ? english : load(code));
        if (languages_.empty() || languages_.front() != kEnglish) checkLanguage(kEnglish, english);
        checkNames(english);
        checkUninstallNames(english);
        checkVersion(english);
        checkFileType(english);
        checkProgram(english);
        checkPayload(english);
    }
    // The INI's findings by line (file-wide ones first), then the payload's
    // in walk order.
    std::stable_sort(findings_.begin(), findings_.end(), [this](const CheckFinding& a, const CheckFinding& b) {
        bool aIni = a.file == iniPath_, bIni = b.file == iniPath_;
        if (aIni != bIni) return aIni;
        return aIni && a.line < b.line;
    });
    CheckSummary summary;
    for (CheckFinding f : findings_) {
        if (f.severity == Severity::Warning &&
            std::find(options_.noWarn.begin(), options_.noWarn.end(), f.name) != options_.noWarn.end()) {
            continue;
        }
        if (f.severity == Severity::Warning && options_.strict) f.severity = Severity::Error;
        if (f.severity == Severity::Error) ++summary.errors;
        if (f.severity == Severity::Warning) ++summary.warnings;
        sink_(f);
    }
    return summary;
}

}  // namespace setup_check

CheckSummary checkSetupInputs(const std::string& iniPath, const std::string& payloadDir,
                              const CheckOptions& options, const CheckSink& sink) {
    return setup_check::Checker(iniPath, payloadDir, options, sink).run();
}

bool readProgramInfo(const std::string& path, ProgramInfo& info, std::string& error) {
    PeFacts facts;
    if (!readPeFactsFile(path, facts, error)) return false;
    info = ProgramInfo();
    info.isPe = facts.kind != PeKind::NotPe;
    info.is64Bit = facts.kind == PeKind::Pe32Plus;
    info.subsystem = facts.subsystem;
    info.hasVersion = facts.hasVersion;
    info.fileVersionMs = static_cast<uint32_t>(facts.version.fileVersion >> 32);
    info.productVersionMs = static_cast<uint32_t>(facts.version.productVersion >> 32);
    return true;
}

const std::vector<std::string>& warningNames() {
    static const std::vector<std::string> names = {
        "64-bit-program",  "command-folder",   "control-character", "document-argument", "duplicate-key",
        "duplicate-section", "empty-section",  "format-directive",  "key-outside-section", "line-ending",
        "malformed-line",  "missing-translation", "name-code-page", "no-version-record", "non-ascii-shared-text", "payload-size",
        "text-length",     "unread-key",       "unread-section",    "version-format",    "version-mismatch",
    };
    return names;
}

std::string formatFinding(const CheckFinding& finding) {
    static const char* const kWords[] = {"note", "warning", "error"};
    std::string text = finding.file;
    if (finding.line != 0) text += ":" + std::to_string(finding.line);
    text += std::string(": ") + kWords[static_cast<int>(finding.severity)] + ": " + finding.message;
    if (finding.name.empty()) return text;
    return text + (finding.severity == CheckFinding::Severity::Error ? " [-Werror=" : " [-W") + finding.name + "]";
}
