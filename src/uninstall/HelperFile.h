#pragma once
// The removal helper's file, written into a folder of its own under the temp
// folder so that no other process can put a file of its own in its place or
// beside it (see HelperFile.cpp). Used by the launcher only.
#include <windows.h>

#include "common/Scoped.h"

class HelperFile {
public:
    HelperFile() { path_[0] = L'\0'; }
    HelperFile(const HelperFile&) = delete;
    HelperFile& operator=(const HelperFile&) = delete;

    // Makes the folder and writes `image` of `size` bytes into it (a copy of
    // the calling executable when `image` is null). false: nothing is left
    // of it once this object goes.
    bool write(const void* image, DWORD size);

    const WCHAR* path() const { return path_; }
    // Held until the helper has started, and taken over by the helper: while
    // one is open, the file can be neither renamed, deleted nor written,
    // and the folder neither renamed nor deleted; the last one closed
    // deletes them.
    HANDLE fileKeeper() const { return file_.get(); }
    HANDLE folderKeeper() const { return folder_.get(); }

private:
    bool makeFolder(WCHAR (&folder)[MAX_PATH]);

    WCHAR path_[MAX_PATH];
    // Declared in this order so that the file goes before its folder.
    ScopedHandle folder_;
    ScopedHandle file_;
};
