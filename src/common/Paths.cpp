#include "common/Paths.h"

#include <windows.h>

#include <string.h>

#include "common/Format.h"
#include "common/Text.h"

namespace {

// True when the last character of `folder` is a backslash. The walk goes by
// characters: the trail byte of a double-byte character may be 0x5C.
bool endsWithSeparator(const char* folder) {
    const char* last = nullptr;
    for (const char* p = folder; *p; p = CharNextA(p)) last = p;
    return last && *last == '\\';
}

bool needsSeparator(const char* folder) { return *folder && !endsWithSeparator(folder); }

}  // namespace

size_t joinedLength(const char* folder, const char* name) {
    return strlen(folder) + (needsSeparator(folder) ? 1 : 0) + strlen(name);
}

bool joinPath(char* dst, size_t size, const char* folder, const char* name) {
    return formatText(dst, size, needsSeparator(folder) ? "%s\\%s" : "%s%s", folder, name);
}

bool folderPattern(char* dst, const char* folder) {
    return joinPath(dst, MAX_PATH, folder, "*");
}

bool noteOverflow(PathOverflow* overflow, const char* folder, const char* name, size_t limit) {
    if (!overflow) return false;
    if (*name) {
        overflow->length = joinedLength(folder, name);
        joinPath(overflow->path, sizeof overflow->path, folder, name);
    } else {
        overflow->length = strlen(folder);
        copyText(overflow->path, sizeof overflow->path, folder);
    }
    overflow->limit = limit;
    return false;
}

void describeOverflow(char* dst, size_t size, const PathOverflow& overflow) {
    formatText(dst, size, "The path is %u characters long; the limit is %u.",
               static_cast<unsigned>(overflow.length), static_cast<unsigned>(overflow.limit));
}
