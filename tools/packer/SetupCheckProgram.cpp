#include "SetupCheckParts.h"

#include <string.h>

#include <algorithm>
#include <system_error>

#include "InstallerResources.h"
#include "common/Format.h"
#include "driver/VersionText.h"

namespace setup_check {

// Why `name` cannot be a single folder or file name below another folder;
// empty when it can.
std::string plainNameProblem(const std::string& name) {
    if (name.empty()) return "it is empty";
    for (char c : name) {
        if (c == '\\' || c == '/') return "it holds a path separator";
        if (strchr(":*?\"<>|", c)) return std::string("it holds the character '") + c + "'";
        if (static_cast<unsigned char>(c) < 0x20) return "it holds a control character";
    }
    if (name.back() == '.' || name.back() == ' ') return "it ends with a point or a blank, which Windows drops";
    if (name.front() == ' ') return "it starts with a blank";
    std::string base = upperAscii(name.substr(0, name.find('.')));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4",
                                           "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",
                                           "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const char* device : kDevices) {
        if (base == device) return "it is the device name " + base;
    }
    return "";
}

// True when a version text starts with digits, after the blanks and the
// sign that the installer's reading skips (readVersionText gives 0 without).
bool startsWithDigits(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    if (*text == '+' || *text == '-') ++text;
    return *text >= '0' && *text <= '9';
}

void Checker::checkNames(const Loaded& english) {
    struct Name {
        int slot;
        const char* consequence;
    };
    const Name names[] = {
        {kProgName, "the staging folder %TEMP%\\<ProgName>\\, the Programs-menu folder and the shortcuts "
                    "cannot be made and nothing is installed"},
        {kProgDir, "the install folder <base>\\<ProgDir> is not a folder of its own: the installer says "
                   "only that the program has not been installed"},
        {kProgFile, "the program's path <install folder>\\<ProgFile>.exe is not a file of the install "
                    "folder: the installer says only that the program has not been installed"},
    };
    for (const Name& n : names) {
        const std::string& v = english.slots[n.slot];
        if (english.source[n.slot].empty()) continue;
        std::string problem = plainNameProblem(v);
        if (v.find("\r\n") != std::string::npos) problem = "it holds \\n, which becomes a line break";
        if (!problem.empty()) {
            iniError(slotLine(english, n.slot), std::string(kSlotKeys[n.slot]) + " " + shown(v) +
                                                    " is not a plain folder or file name (" + problem + "); " +
                                                    n.consequence);
        }
    }
    const std::string& file = english.slots[kProgFile];
    if (!english.source[kProgFile].empty() && endsWithIgnoringCase(file, ".exe")) {
        iniError(slotLine(english, kProgFile),
                 "ProgFile " + shown(file) + " ends with \".exe\"; the installer adds it, so it looks for " +
                     shown(file + ".exe") + ": write ProgFile=" + file.substr(0, file.size() - 4));
    }
}

// Each language's names, as the installer forms them there, must name the
// same install when the uninstaller looks for it later, in whatever language
// the user has then: it finds the install folder by ProgDir and tells the
// language the installer ran in by the ProgName that the uninstall entry
// shows. A language's own name that is not a plain name cannot be found
// again; two languages with the same ProgDir and ProgName but another
// ProgFile leave it unable to tell which program file and App Paths entry
// the install made.
void Checker::checkUninstallNames(const Loaded& english) {
    std::vector<std::pair<std::string, Loaded>> all = {{kEnglish, english}};
    for (const std::string& code : languages_) {
        if (code != kEnglish) all.push_back({code, load(code)});
    }
    for (size_t i = 1; i < all.size(); ++i) {
        const std::string& code = all[i].first;
        const Loaded& loaded = all[i].second;
        for (int slot : {kProgName, kProgDir, kProgFile}) {
            if (!equalsIgnoringCase(loaded.source[slot], code)) continue;  // [EN] or [Settings]: checked there
            std::string problem = plainNameProblem(loaded.slots[slot]);
            if (problem.empty()) continue;
            iniError(slotLine(loaded, slot), std::string(kSlotKeys[slot]) + " " + shown(loaded.slots[slot]) +
                                                 " of [" + code + "] is not a plain folder or file name (" + problem +
                                                 "); an install in this language is not found again by \"-u\"");
        }
    }
    for (size_t i = 0; i < all.size(); ++i) {
        for (size_t j = i + 1; j < all.size(); ++j) {
            const Loaded& a = all[i].second;
            const Loaded& b = all[j].second;
            if (!equalsIgnoringCase(a.slots[kProgDir], b.slots[kProgDir]) ||
                !equalsIgnoringCase(a.slots[kProgName], b.slots[kProgName]) ||
                equalsIgnoringCase(a.slots[kProgFile], b.slots[kProgFile])) {
                continue;
            }
            iniError(slotLine(b, kProgFile),
                     "ProgFile " + shown(b.slots[kProgFile]) + " of [" + all[j].first + "] differs from " +
                         shown(a.slots[kProgFile]) + " of [" + all[i].first + "] while ProgName and ProgDir are "
                         "the same: \"-u\" cannot tell which program file and App Paths entry the install made; "
                         "give both the same ProgFile, or another ProgDir");
        }
    }
}

void Checker::checkVersion(const Loaded& english) {
    if (english.source[kProgVersion].empty()) return;
    const std::string& v = english.slots[kProgVersion];
    unsigned line = slotLine(english, kProgVersion);
    // Read exactly as the installer's version gate reads it.
    VersionNumbers numbers = readVersionText(v.c_str());
    bool majorDigits = startsWithDigits(v.c_str());
    size_t point = v.find('.');
    long major = numbers.major;
    long minor = numbers.hasMinor ? numbers.minor : 0;
    bool plain = !v.empty() && v.find_first_not_of("0123456789.") == std::string::npos && point != std::string::npos &&
                 point > 0 && point + 1 < v.size() && v.find('.', point + 1) == std::string::npos;
    std::string reads = std::to_string(major) + (point == std::string::npos ? "" : "." + std::to_string(minor));
    if (!majorDigits) {
        iniError(line, "ProgVersion " + shown(v) + " does not start with a number; the installer reads it as "
                       "version " + reads + ", so installing over any installed version from 1.0 on is "
                       "refused with NewerInstalled; write major.minor, as in 3.5");
    } else if (point == std::string::npos) {
        iniWarning("version-format", line,
                   "ProgVersion " + shown(v) + " has no minor number; the installer then installs over "
                         "any installed " + std::to_string(major) + ".x, newer or not; write major.minor");
    } else if (!plain) {
        iniWarning("version-format", line,
                   "ProgVersion " + shown(v) + " is not major.minor; the installer compares it as " +
                         reads + " and shows it as written; write " + reads);
    } else if (v.substr(point + 1) != std::to_string(minor) || v.substr(0, point) != std::to_string(major)) {
        iniWarning("version-format", line,
                   "ProgVersion " + shown(v) + " reads as " + reads + " (numbers, not texts, are "
                         "compared); write " + reads);
    }
    // The installer's version record holds the same reading in 16-bit parts.
    uint64_t fixed = 0;
    std::string reason;
    if (!fixedVersionFromText(v, fixed, reason)) iniError(line, "ProgVersion " + shown(v) + " " + reason);
}

void Checker::checkCommand(const char* keyName, const std::string& raw, bool isOpen, const Loaded& english) {
    unsigned line = lineOf(kFileType, keyName);
    std::string converted = raw;
    for (size_t p = 0; p + 1 < converted.size(); ++p) {
        if (converted[p] == '\\' && converted[p + 1] == 'n') {
            iniError(line, std::string(keyName) + " holds \\n (in " + shown(raw) + "), which the installer "
                           "turns into a line break: the registered " + (isOpen ? "command" : "icon") +
                           " is broken; rename the file or folder that starts with n");
            converted[p] = '\r';
            converted[p + 1] = '\n';
        }
    }
    std::vector<char> format(converted.begin(), converted.end());
    format.push_back('\0');
    std::string dir = installDir(english);
    const char* args[1] = {dir.c_str()};
    char registered[kTextSize];
    formatDataText(registered, sizeof registered, format.data(), args, 1);
    std::string result = registered;
    size_t placeholders = 0;
    for (size_t p = 0; p + 1 < raw.size(); ++p) {
        if (raw[p] == '%' && raw[p + 1] == '%') ++p;
        else if (raw[p] == '%' && raw[p + 1] == 's') ++placeholders;
    }
    iniNote(line, std::string(keyName) + " registers (installed in " + plain(dir) + "): " + asWritten(result));
    if (placeholders == 0) {
        iniWarning("command-folder", line, std::string(keyName) + " has no %s for the install folder; it registers " +
                             "\"" + asWritten(result) + "\" wherever the program is installed");
    } else if (placeholders > 1) {
        iniWarning("command-folder", line, std::string(keyName) + " has " + std::to_string(placeholders) +
                             " %s; only the first receives the install folder, the others stay empty");
    }

    // The path of the program or icon file: quoted, or up to the first
    // blank (Open) or the last comma (Icon).
    std::string path;
    if (isOpen) {
        const KeyLine* written = key(kFileType, "Open");
        bool stripped = written && written->value.size() >= 2 && written->value.front() == '"' &&
                        written->value.back() == '"';
        std::string advice = "; write the outer pair of quotes twice, as in Open=\"\"%s\\Program.exe\" \"%%1\"\"";
        if (result.empty() || result[0] != '"') {
            if (stripped) {
                iniError(line, "the profile reader removes the quotes that start and end the value of Open, so "
                               "it registers the command: " + asWritten(result) + "; double-clicking a document "
                               "fails" + advice);
            } else {
                iniError(line, "Open registers a command whose program path is not in quotes: " + asWritten(result) +
                               "; the install folder holds blanks, so Windows takes the text up to the first "
                               "blank as the program and double-clicking a document fails" + advice);
            }
            return;
        }
        size_t quotes = std::count(result.begin(), result.end(), '"');
        if (quotes % 2 != 0) {
            iniError(line, "Open registers a command whose quotes do not pair up: " + asWritten(result) +
                           "; double-clicking a document fails" + advice);
            return;
        }
        path = result.substr(1, result.find('"', 1) - 1);
        if (result.find("%1") == std::string::npos && result.find("%L") == std::string::npos &&
            result.find("%*") == std::string::npos) {
            iniWarning("document-argument", line,
                       "Open registers a command without %1: " + asWritten(result) + "; the document is not "
                             "passed to the program: write \"%%1\" for it");
        } else if (result.find("\"%1\"") == std::string::npos && result.find("%1") != std::string::npos) {
            iniWarning("document-argument", line,
                       "Open registers a command with %1 outside quotes: " + asWritten(result) + "; a document "
                             "whose path holds blanks arrives in pieces: write \"%%1\"");
        }
    } else {
        std::string unquoted = result;
        size_t comma = unquoted.rfind(',');
        path = comma == std::string::npos ? unquoted : unquoted.substr(0, comma);
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    }
    std::string prefix = dir + "\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return;  // outside the install folder: not ours to check
    std::string relative = path.substr(prefix.size());
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::error_code ec;
    // Windows finds files without regard to case.
    fs::path found = fs::path(payloadDir_) / "Program";
    std::string rest = relative;
    while (!rest.empty()) {
        std::string part = rest.substr(0, rest.find('/'));
        rest = rest.find('/') == std::string::npos ? "" : rest.substr(rest.find('/') + 1);
        std::string utf8;
        if (!convert("UTF-8", "CP1252", part, utf8)) utf8 = part;
        fs::path next;
        for (const auto& entry : fs::directory_iterator(found, ec)) {
            if (equalsIgnoringCase(entry.path().filename().string(), utf8)) next = entry.path();
        }
        if (next.empty()) {
            iniError(line, std::string(keyName) + " registers " + shown(path) + ", which the payload does not "
                           "hold (no Program/" + relative + "); " +
                           (isOpen ? "double-clicking a document fails" : "documents show no icon"));
            return;
        }
        found = next;
    }
}

void Checker::checkFileType(const Loaded& english) {
    std::string values[4];
    int present = 0, firstMissing = -1;
    for (int i = 0; i < 4; ++i) {
        values[i] = value(kFileType, kFileTypeKeys[i]);
        if (values[i].empty()) {
            if (firstMissing < 0) firstMissing = i;
        } else {
            ++present;
        }
    }
    if (present == 0) return;
    const SectionLines* s = section(kFileType);
    unsigned sectionLine = s ? s->line : 0;
    if (present < 4) {
        std::string read;
        for (int i = 0; i < firstMissing; ++i) read += std::string(read.empty() ? "" : ", ") + kFileTypeKeys[i];
        std::string consequence = firstMissing <= 1
            ? "no file type is registered"
            : std::string("the file type is registered with an empty ") +
                  (firstMissing == 2 ? "open command (double-clicking a document does nothing)" : "icon");
        iniError(sectionLine, std::string("key ") + kFileTypeKeys[firstMissing] + " is missing from [FileType]; "
                              "the installer reads Type, Extension, Open and Icon in this order and stops at the "
                              "first missing one, so " + consequence + ": give all four or none");
    }
    if (firstMissing == 0 || firstMissing == 1) return;
    const std::string& extension = values[1];
    if (extension[0] != '.' || extension.size() < 2) {
        iniError(lineOf(kFileType, "Extension"), "Extension " + shown(extension) + " lacks its leading point; the "
                 "installer registers HKEY_CLASSES_ROOT\\" + extension + ", which is no file extension, so "
                 "documents stay unassociated: write Extension=." + extension);
    } else if (extension.find_first_of("\\/ \t\"*?<>|:") != std::string::npos || extension.find('.', 1) != std::string::npos) {
        iniError(lineOf(kFileType, "Extension"), "Extension " + shown(extension) + " is not a plain file "
                 "extension (one point, then letters and digits); documents stay unassociated");
    }
    if (values[0].find_first_of("\\") != std::string::npos) {
        iniError(lineOf(kFileType, "Type"), "Type " + shown(values[0]) + " holds a backslash; it names one key "
                 "below HKEY_CLASSES_ROOT, and a path there registers the type in the wrong place");
    }
    if (!values[2].empty()) checkCommand("Open", values[2], true, english);
    if (!values[3].empty()) checkCommand("Icon", values[3], false, english);
}

void Checker::checkProgram(const Loaded& english) {
    if (english.source[kProgFile].empty() || !plainNameProblem(english.slots[kProgFile]).empty() ||
        endsWithIgnoringCase(english.slots[kProgFile], ".exe")) {
        return;  // reported with the name
    }
    const std::string& progFile = english.slots[kProgFile];
    unsigned line = slotLine(english, kProgFile);
    fs::path programDir = fs::path(payloadDir_) / "Program";
    std::string wanted = progFile + ".exe";
    std::string wantedUtf8;
    if (!convert("UTF-8", "CP1252", wanted, wantedUtf8)) wantedUtf8 = wanted;
    std::error_code ec;
    fs::path exe;
    std::vector<std::string> programs;
    for (const auto& entry : fs::directory_iterator(programDir, ec)) {
        std::string name = entry.path().filename().string();
        if (equalsIgnoringCase(name, wantedUtf8) && entry.is_regular_file(ec)) exe = entry.path();
        else if (endsWithIgnoringCase(name, ".exe")) programs.push_back(name);
    }
    if (ec) return;  // reported with the payload
    if (exe.empty()) {
        std::sort(programs.begin(), programs.end());
        std::string hint;
        for (const std::string& p : programs) hint += std::string(hint.empty() ? "; Program/ holds " : ", ") + p;
        iniError(line, "ProgFile " + shown(progFile) + ": the payload has no Program/" + wantedUtf8 +
                           "; the installer would report success, register and link a program that does not "
                           "exist, and start nothing" + hint);
        return;
    }
    std::string exePath = programPath("Program/" + exe.filename().string());
    ProgramInfo info;
    std::string error;
    if (!readProgramInfo(exe.string(), info, error)) {
        report(Severity::Error, exePath, 0, "cannot be read as a program: " + error);
        return;
    }
    if (!info.isPe) {
        report(Severity::Error, exePath, 0, "is not a Windows program (no PE image); the installer would "
                                            "install it, and Windows would refuse to start it");
        return;
    }
    if (info.subsystem != 2 && info.subsystem != 3) {
        report(Severity::Error, exePath, 0, "is a Windows image of subsystem " + std::to_string(info.subsystem) +
                                                ", neither a GUI nor a console program; the installer could "
                                                "not start it");
        return;
    }
    if (info.is64Bit) {
        warn("64-bit-program", exePath, 0, "is a 64-bit program; it runs only on 64-bit Windows, while the "
                                              "installer also runs on 32-bit Windows");
    }
    noteUninstallHandler(exe, exePath, progFile);
    if (english.source[kProgVersion].empty()) return;
    const std::string& progVersion = english.slots[kProgVersion];
    unsigned versionLine = slotLine(english, kProgVersion);
    if (!info.hasVersion) {
        iniWarning("no-version-record", versionLine,
                   "Program/" + exe.filename().string() + " has no version record: the uninstall "
                                "entry's DisplayVersion stays empty, VersionMajor and VersionMinor read 0, and "
                                "no later installer refuses to replace it with an older version; give the "
                                "program a version resource with file version " + progVersion);
        return;
    }
    unsigned fileMajor = info.fileVersionMs >> 16, fileMinor = info.fileVersionMs & 0xFFFF;
    std::string recorded = std::to_string(fileMajor) + "." + std::to_string(fileMinor);
    VersionNumbers offered = readVersionText(progVersion.c_str());
    if (static_cast<long>(fileMajor) == offered.major &&
        (!offered.hasMinor || static_cast<long>(fileMinor) == offered.minor)) {
        return;
    }
    // A later run of this installer compares the recorded version with its own.
    bool refusesItself = isNewerVersion(recorded.c_str(), progVersion.c_str());
    std::string message = "ProgVersion " + shown(progVersion) + " differs from the file version " + recorded +
                          " of Program/" + exe.filename().string() + ", which the installer records as "
                          "DisplayVersion and later installers compare with";
    if (refusesItself) {
        iniError(versionLine, message + "; running this installer again over its own installation is "
                                        "refused as a newer version");
    } else {
        iniWarning("version-mismatch", versionLine, message);
    }
}

}  // namespace setup_check
