// The launcher's command line. See LauncherCommand.h.
#include "launcher/LauncherCommand.h"

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

size_t length(const wchar_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

wchar_t lowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The next blank-separated word: [start, end); false when none is left.
bool nextWord(const wchar_t*& cursor, const wchar_t*& start, const wchar_t*& end) {
    start = skipBlanks(cursor);
    if (!*start) return false;
    end = start;
    while (*end && !isBlank(*end)) ++end;
    cursor = end;
    return true;
}

// The word is `option` (lower-case ASCII) in any case.
bool isWord(const wchar_t* start, const wchar_t* end, const char* option) {
    for (; start < end && *option; ++start, ++option) {
        if (lowerAscii(*start) != static_cast<wchar_t>(*option)) return false;
    }
    return start == end && !*option;
}

}  // namespace

const wchar_t* skipBlanks(const wchar_t* text) {
    while (isBlank(*text)) ++text;
    return text;
}

const wchar_t* argumentsOf(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"') ++line;
        return *line ? line + 1 : line;
    }
    while (*line && !isBlank(*line)) ++line;
    return line;
}

UninstallRequest uninstallRequest(const wchar_t* arguments) {
    const wchar_t *start, *end;
    const wchar_t* cursor = arguments;
    if (!nextWord(cursor, start, end) || !isWord(start, end, "-u")) return UninstallRequest::None;
    if (!nextWord(cursor, start, end)) return UninstallRequest::Asked;
    if (!isWord(start, end, "-s")) return UninstallRequest::None;
    return nextWord(cursor, start, end) ? UninstallRequest::None : UninstallRequest::Quiet;
}

bool realProgramPath(const wchar_t* own, wchar_t* out, size_t size) {
    size_t n = length(own);
    if (n < 4 || !isWord(own + n - 4, own + n, ".exe")) return false;
    size_t stem = n - 4;
    size_t suffix = sizeof kLauncherProgramSuffix - 1;
    if (stem + suffix >= size) return false;
    for (size_t i = 0; i < stem; ++i) out[i] = own[i];
    for (size_t i = 0; i < suffix; ++i) out[stem + i] = static_cast<wchar_t>(kLauncherProgramSuffix[i]);
    out[stem + suffix] = L'\0';
    return true;
}

size_t commandLineUnits(const wchar_t* program, const wchar_t* arguments) {
    return length(program) + length(arguments) + 4;  // two quotes, a blank, the terminator
}

void buildCommandLine(const wchar_t* program, const wchar_t* arguments, wchar_t* out, size_t size) {
    if (size == 0) return;
    size_t at = 0;
    auto put = [&](wchar_t c) {
        if (at + 1 < size) out[at++] = c;
    };
    put(L'"');
    for (const wchar_t* p = program; *p; ++p) put(*p);
    put(L'"');
    if (*arguments && !isBlank(*arguments)) put(L' ');
    for (const wchar_t* p = arguments; *p; ++p) put(*p);
    out[at] = L'\0';
}
