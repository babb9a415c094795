#include "deploy/InstallStep.h"

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/SafeNames.h"
#include "deploy/CopyJournal.h"
#include "deploy/FileOps.h"
#include "deploy/TreeCopy.h"
#include "registration/Registration.h"
#include "registration/Shortcuts.h"

namespace {

// The paths of the step besides the install directory, all formed and
// checked before anything is copied.
struct StepPaths {
    char programSource[kPathSize];
    char documentsSource[kPathSize];
    char documentsDestination[kPathSize];  // empty when there are no documents
    char programPath[kPathSize];
};

// Forms the install directory into InstallState (left empty when it does not
// fit), then the other paths. false when ProgDir or ProgFile would lead out
// of the folder they are appended to, when one of the paths does not fit, when a
// path inside either tree would not fit at its destination, or when there are
// documents but no documents folder to put them in.
bool formPaths(StepPaths& paths) {
    char installDir[kPathSize];
    installState.installDir[0] = '\0';
    // ProgDir and ProgFile are appended to folders: they must stay inside.
    if (!isSafeEntryName(setupString(Slot::ProgDir)) || !isSafeEntryName(setupString(Slot::ProgFile))) {
        return false;
    }
    if (!formatText(installDir, sizeof installDir, "%s\\%s", installState.baseDir,
                    setupString(Slot::ProgDir))) {
        return false;
    }
    copyText(installState.installDir, kPathSize, installDir);

    // The staging directory ends with a backslash: the doubled separator
    // that follows is read as one.
    paths.documentsDestination[0] = '\0';
    if (!formatText(paths.programSource, kPathSize, "%s\\Program", installState.stagingDir) ||
        !formatText(paths.documentsSource, kPathSize, "%s\\Documents", installState.stagingDir) ||
        !formatText(paths.programPath, kPathSize, "%s\\%s.exe", installDir, setupString(Slot::ProgFile)) ||
        !copyPathsFit(paths.programSource, installDir)) {
        return false;
    }
    if (!isDirectory(paths.documentsSource)) return true;

    char documentsFolder[kPathSize];
    return getPersonalFolder(documentsFolder) &&
           formatText(paths.documentsDestination, kPathSize, "%s\\%s", documentsFolder,
                      setupString(Slot::ProgDir)) &&
           copyPathsFit(paths.documentsSource, paths.documentsDestination);
}

}  // namespace

// A failed copy is rolled back through the journals: a destination folder
// that this run created goes whole; in one that existed (an earlier install,
// the user's documents) only what this run created goes.
int installProgram(HWND owner) {
    installState.programPath[0] = '\0';
    StepPaths paths;
    if (!formPaths(paths)) return 0;

    CopyJournal programJournal;
    if (!copyTreeIfPresent(owner, paths.programSource, installState.installDir, 1, 0, &programJournal)) {
        programJournal.rollBack();
        return 0;
    }
    if (paths.documentsDestination[0]) {
        CopyJournal documentsJournal;
        if (!copyTreeIfPresent(owner, paths.documentsSource, paths.documentsDestination, 0, 1,
                               &documentsJournal)) {
            programJournal.rollBack();
            documentsJournal.rollBack();
            return 0;
        }
    }

    copyText(installState.programPath, kPathSize, paths.programPath);
    registerProgram();
    createShortcuts();
    return 1;
}
