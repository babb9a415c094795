#pragma once
// The staging folder of one run: the user's temp folder, ProgName and a
// backslash. The name is known in advance and the temp folder is the user's,
// so any program the user runs may have put something there first; the
// elevated installer writes and removes only a folder that this run made.
#include <windows.h>

#include "common/InstallState.h"
#include "common/Scoped.h"

class StagingFolder {
public:
    StagingFolder() : made_(false) { path_[0] = '\0'; }
    ~StagingFolder() { remove(); }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // Makes the folder `path` (ending with a backslash) afresh: a link at
    // that name (any reparse point) is refused, an old folder there is
    // removed with its tree, and the folder must then be created by this
    // call. It is then held open, neither renamed nor removed by anyone,
    // until remove(). 1 = made and held; 0 = "Unable to create file.",
    // captioned with `path`, has been shown, owned by `owner`.
    int create(HWND owner, const char* path);

    // 1 while the folder made by create() is still a plain folder (no link
    // has been put in its place). 0 when none was made.
    int isIntact() const;

    // Ends the hold and removes the tree, only when create() made the folder
    // (removeTree reaches through no link). Once only; a second call does
    // nothing.
    void remove();

private:
    ScopedHandle folder_;
    bool made_;
    char path_[kPathSize];
};
