// What runs on "-u". See UninstallHandler.h.
#include "UninstallHandler.h"

#include <algorithm>

namespace {

uint8_t lowerAscii(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c - 'A' + 'a') : c; }

// `text` (ASCII) in `bytes`, as 8-bit or UTF-16LE units, in any case when
// `anyCase`.
bool holds(const std::vector<uint8_t>& bytes, const std::string& text, bool wide, bool anyCase) {
    std::vector<uint8_t> pattern;
    for (char c : text) {
        pattern.push_back(static_cast<uint8_t>(c));
        if (wide) pattern.push_back(0);
    }
    auto equal = [anyCase](uint8_t a, uint8_t b) { return anyCase ? lowerAscii(a) == lowerAscii(b) : a == b; };
    return std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end(), equal) != bytes.end();
}

}  // namespace

bool holdsUninstallComponent(const std::vector<uint8_t>& program) {
    return holds(program, "\" --remove", true, false) && holds(program, "setup-uninstall.ini", false, false);
}

bool namesUninstallHelper(const std::vector<uint8_t>& program) {
    return holds(program, "setup-uninstall.exe", false, true) || holds(program, "setup-uninstall.exe", true, true);
}

UninstallHandler findUninstallHandler(const std::vector<uint8_t>& program, bool helperInProgram, bool launcher) {
    if (launcher) return UninstallHandler::Launcher;
    if (holdsUninstallComponent(program)) return UninstallHandler::Library;
    if (helperInProgram && namesUninstallHelper(program)) return UninstallHandler::Helper;
    return UninstallHandler::Unknown;
}
