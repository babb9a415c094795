#pragma once
// The parts of setup-pack check, shared by the files that hold its checks by
// subject: the file's bytes (SetupCheckBytes.cpp), keys and texts
// (SetupCheckTexts.cpp), the program keys (SetupCheckProgram.cpp), languages
// and code pages (SetupCheckLanguages.cpp) and the payload
// (SetupCheckPayload.cpp). The entry point is checkSetupInputs (SetupCheck.h).
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SetupCheck.h"
#include "config/ProfileText.h"

namespace setup_check {

namespace fs = std::filesystem;
using Severity = CheckFinding::Severity;

inline constexpr size_t kTextSize = 1024;  // the installer's text buffers, terminator included
inline constexpr size_t kPathLimit = 260;  // the installer's path buffers, terminator included
inline constexpr uint64_t kFileSizeLimit = uint64_t(1) << 32;

inline constexpr int kSlotCount = 22;
// The keys of the installer's text table, in the order it reads and formats them.
inline const char* const kSlotKeys[kSlotCount] = {
    "ProgName", "ProgVersion", "ProgFile", "ProgDir", "ProgDesc", "DirDesc", "ExtDesc",
    "InstallDesc", "NewerInstalled", "InstallBaseDir", "InstallProgDir", "InstallChange",
    "InstallBrowse", "InstallCompleted", "InstallFailed", "FileCopyFailed", "NotDir",
    "DirCreateFailed", "InstallOk", "InstallCancel", "InstallYes", "InstallNo",
};
inline constexpr int kProgName = 0, kProgVersion = 1, kProgFile = 2, kProgDir = 3, kFirstText = 4;

inline const char* const kFileTypeKeys[4] = {"Type", "Extension", "Open", "Icon"};
// Keys of language sections outside the installer's text table: the texts of
// the uninstaller, texts kept for other tools, and the section's code page.
inline const char* const kIgnoredKeys[] = {
    "Uninstall", "Installing", "UninstallConfirm", "UninstallDone", "UninstallKept",
    "UninstallFileFailed", "UninstallIncomplete", "UninstallNothing", "UninstallRunning", "CodePage",
};

inline const char kSettings[] = "Settings";
inline const char kFileType[] = "FileType";
inline const char kEnglish[] = "EN";

// Typical folders on a customer's machine: a user name of 20 characters and
// the program-files folder a 32-bit installer gets on 64-bit Windows.
inline const char kStagingBase[] = "C:\\Users\\abcdefghijklmnopqrst\\AppData\\Local\\Temp\\";
inline const char kStagingShown[] = "C:\\Users\\<20 characters>\\AppData\\Local\\Temp\\";
inline const char kDocumentsBase[] = "C:\\Users\\abcdefghijklmnopqrst\\Documents\\";
inline const char kDocumentsShown[] = "C:\\Users\\<20 characters>\\Documents\\";
inline const char kInstallBase[] = "C:\\Program Files (x86)";

// The section name a language gets: the first two letters of the platform's
// abbreviated language name (LOCALE_SABBREVLANGNAME) of the user's locale.
struct Language {
    const char* code;
    const char* name;
    const char* abbreviations;
};

// Text helpers (SetupCheck.cpp).
std::string upperAscii(std::string text);
bool equalsIgnoringCase(const std::string& a, const std::string& b);
bool endsWithIgnoringCase(const std::string& text, const std::string& end);
// Converts `text` from one encoding to another with iconv; false when a
// character has no place in the target.
bool convert(const char* to, const char* from, const std::string& text, std::string& out);
// A Windows-1252 text as UTF-8, in quotes, for a message; line breaks as \n.
std::string shown(const std::string& ansi);
// A Windows-1252 text as UTF-8 for a message, without quotes around it.
std::string plain(const std::string& ansi);
// A text the installer writes (a registered value), as UTF-8 for a message,
// without quotes: a line break (CR LF) shows as <line break>, so that it
// cannot be taken for the two characters \n that made it.
std::string asWritten(const std::string& ansi);
// Case-blind edit distance, for "did you mean" on misspelt keys.
size_t editDistance(const std::string& a, const std::string& b);

// Languages and code pages (SetupCheckLanguages.cpp).
const Language* findLanguage(const std::string& code);
// The code pages that can hold the UTF-8 text, for a message.
std::string codePagesHolding(const std::string& utf8);
// The bytes a UTF-8 path takes in the ANSI code page.
size_t ansiPathLength(const std::string& utf8);

// The file's bytes (SetupCheckBytes.cpp).
// The length of a valid UTF-8 sequence of two bytes or more at p, else 0.
size_t utf8SequenceAt(const std::string& text, size_t p);

// The program keys (SetupCheckProgram.cpp).
// Why `name` cannot be a single folder or file name below another folder;
// empty when it can.
std::string plainNameProblem(const std::string& name);

struct KeyLine {
    std::string name;
    unsigned line;
    bool hasValue;
    std::string value;  // raw: trimmed, quotes kept
};

struct SectionLines {
    std::string name;
    unsigned line;  // 0 for the keys before the first section
    std::vector<KeyLine> keys;
    bool duplicate = false;
};

// What the installer makes of the INI for one language: the 22 texts, the
// section each came from, and the file-type values.
struct Loaded {
    std::string slots[kSlotCount];
    std::string source[kSlotCount];  // section name; empty when missing
};

// Formats a slot's text as the installer does: every text is a format with
// the texts ProgName, ProgVersion, ProgName, but ProgName and ProgVersion
// are formatted with none (they are the slots being written), so a %s in
void formatSlot(int slot, const char* text, const Loaded& loaded, char* out, size_t size);

class Checker {
public:
    Checker(const std::string& iniPath, const std::string& payloadDir, const CheckOptions& options,
            const CheckSink& sink)
        : iniPath_(iniPath), payloadDir_(payloadDir), options_(options), sink_(sink) {}

    CheckSummary run();

private:
    void report(Severity severity, const std::string& file, unsigned line, const std::string& message) {
        findings_.push_back({severity, file, line, message, ""});
    }
    // A warning of the kind `name` (one of warningNames(), SetupCheck.h).
    void warn(const char* name, const std::string& file, unsigned line, const std::string& message) {
        findings_.push_back({Severity::Warning, file, line, message, name});
    }
    // Findings on the INI: `line` is one of the installer's form, reported
    // as the vendor's line it came from. Warnings and notes on lines that
    // the build adds (the shipped texts) are the build's concern, not the
    // vendor's, and are left out.
    // The vendor's line of `line`; false when the line was added by the build.
    bool sourceLine(unsigned& line) const {
        if (!fromUtf8_ || line == 0) return true;
        line = line <= sourceLines_.size() ? sourceLines_[line - 1] : 0;
        return line != 0;
    }
    void iniError(unsigned line, const std::string& m) {
        sourceLine(line);
        report(Severity::Error, iniPath_, line, m);
    }
    void iniWarning(const char* name, unsigned line, const std::string& m) {
        if (sourceLine(line)) warn(name, iniPath_, line, m);
    }
    void iniNote(unsigned line, const std::string& m) {
        if (sourceLine(line)) report(Severity::Note, iniPath_, line, m);
    }

    bool readIni();
    void indexIni();
    void checkBytes();
    void checkSections();
    void checkKeys();
    void checkLanguage(const std::string& code, const Loaded& loaded);
    void checkText(const std::string& code, int slot, const Loaded& loaded);
    void checkNames(const Loaded& english);
    void checkUninstallNames(const Loaded& english);
    void checkVersion(const Loaded& english);
    void checkFileType(const Loaded& english);
    void checkCommand(const char* key, const std::string& value, bool isOpen, const Loaded& english);
    void checkPayload(const Loaded& english);
    void checkProgram(const Loaded& english);
    void noteUninstallHandler(const fs::path& exe, const std::string& exePath, const std::string& progFile);

    std::string value(const std::string& section, const char* key, size_t size = kTextSize) const {
        std::vector<char> out(size);
        size_t n = readProfileText(bytes_.data(), bytes_.size(), section.c_str(), key, out.data(), out.size());
        return std::string(out.data(), n);
    }
    Loaded load(const std::string& language) const;
    const SectionLines* section(const std::string& name) const {
        for (const SectionLines& s : sections_) {
            if (!s.duplicate && s.line != 0 && equalsIgnoringCase(s.name, name)) return &s;
        }
        return nullptr;
    }
    const KeyLine* key(const std::string& sectionName, const char* name) const {
        const SectionLines* s = section(sectionName);
        if (!s) return nullptr;
        for (const KeyLine& k : s->keys) {
            if (equalsIgnoringCase(k.name, name)) return &k;
        }
        return nullptr;
    }
    unsigned lineOf(const std::string& sectionName, const char* keyName) const {
        const KeyLine* k = key(sectionName, keyName);
        if (k) return k->line;
        const SectionLines* s = section(sectionName);
        return s ? s->line : 0;
    }
    unsigned slotLine(const Loaded& loaded, int slot) const {
        return loaded.source[slot].empty() ? 0 : lineOf(loaded.source[slot], kSlotKeys[slot]);
    }
    std::string installDir(const Loaded& english) const {
        return std::string(kInstallBase) + "\\" + english.slots[kProgDir];
    }
    std::string programPath(const std::string& relative) const {
        return (fs::path(payloadDir_) / relative).generic_string();
    }

    std::string iniPath_;
    std::string payloadDir_;
    CheckOptions options_;
    const CheckSink& sink_;
    std::string bytes_;  // the installer's form of the INI
    bool fromUtf8_ = false;  // made from a UTF-8 source
    std::vector<unsigned> sourceLines_;  // per line of bytes_, the source's line (0: added)
    ProfileEncoding encoding_ = ProfileEncoding::Ansi;
    std::vector<SectionLines> sections_;
    std::vector<std::string> languages_;  // language sections present, EN first
    std::vector<CheckFinding> findings_;
};

}  // namespace setup_check
