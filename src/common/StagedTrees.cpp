#include "common/StagedTrees.h"

#include <string.h>

#include "common/Format.h"
#include "common/Text.h"

void noteStagedEntry(const char* name, bool directory) {
    static const char* const kTreeFolders[kStagedTreeCount] = {"Program", "Documents"};
    const char* separator = name;
    while (*separator && *separator != '\\') separator = CharNextA(separator);
    if (!*separator || !separator[1]) return;
    const int folderLength = static_cast<int>(separator - name);
    for (int tree = 0; tree < kStagedTreeCount; ++tree) {
        if (!sameTextIgnoringCase(name, folderLength, kTreeFolders[tree], lstrlenA(kTreeFolders[tree]))) continue;
        StagedTreeExtent& extent = installState.stagedTrees[tree];
        char* longest = directory ? extent.longestFolder : extent.longestFile;
        if (strlen(separator + 1) > strlen(longest)) copyText(longest, kPathSize, separator + 1);
    }
}
