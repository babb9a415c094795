#include "archive/StagingFolder.h"

#include "common/Format.h"
#include "deploy/FileOps.h"

namespace {

// The staging path as held (ending with a backslash) without it: with one, a
// link to a folder reads as the folder it points to.
bool folderName(char* dst, const char* path) {
    if (!copyText(dst, kPathSize, path)) return false;
    const int length = lstrlenA(dst);
    if (length > 0 && dst[length - 1] == '\\') dst[length - 1] = '\0';
    return dst[0] != '\0';
}

}  // namespace

// A link at the staging name is refused, not removed. The installer never
// makes one there, so a link means that another program has been at the
// name; removing it would hide that, and whoever made it could make it again
// at once. Refusing leaves nothing to race: the run stops, names the path,
// and nothing is deleted or written where the link leads. (Removing a link
// without touching what it points to is not possible everywhere either: Wine
// removes through it.)
int StagingFolder::create(HWND owner, const char* path) {
    remove();
    char folder[kPathSize];
    bool made = copyText(path_, sizeof path_, path) && folderName(folder, path) && !isLink(folder);
    if (made) {
        // An old tree of an earlier run goes first; removeTree leaves links
        // and what they point to, so then the folder stays and is not ours.
        if (isDirectory(folder)) removeTree(folder);
        // Only a folder that this call creates is used: ERROR_ALREADY_EXISTS
        // means the old tree, or a link made again since, is still there.
        made_ = CreateDirectoryA(folder, nullptr) != 0;
        // Held from here on, without delete sharing: it can no longer be
        // renamed or removed, so the name keeps naming what is checked now.
        if (made_) {
            folder_.reset(CreateFileA(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        }
        made = isIntact() != 0;
    }
    if (!made) MessageBoxA(owner, "Unable to create file.", path, MB_OK);
    return made ? 1 : 0;
}

// By the handle, where the platform opens a link itself when asked to; by
// the name as well, where it opens what a link points to (Wine), which then
// shows only there.
int StagingFolder::isIntact() const {
    if (!made_ || !folder_.isValid()) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder_.get(), &info)) return 0;
    const DWORD attributes = info.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
    return isDirectory(path_) && !isLink(path_);
}

// removeTree makes its own checks: it refuses a link put in the folder's
// place after the hold ends, and leaves every link inside.
void StagingFolder::remove() {
    if (!made_) return;
    made_ = false;
    folder_.reset();
    removeTree(path_);
}
