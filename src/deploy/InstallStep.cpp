#include "deploy/InstallStep.h"

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Paths.h"
#include "common/PhaseMark.h"
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

// Joins `folder` and `name` into one of the step's paths; false (with the
// path recorded in `overflow`) when it does not fit.
bool joinStepPath(char* dst, const char* folder, const char* name, size_t limit, PathOverflow& overflow) {
    if (joinedLength(folder, name) > limit) return noteOverflow(&overflow, folder, name, limit);
    return joinPath(dst, kPathSize, folder, name);
}

// True when every path of the staged `tree`, copied into `destination`,
// fits: its folders within kFolderLimit, its files within kPathLimit. The
// extraction kept the longest name of each kind; the first that does not
// fit is named in `overflow`.
bool stagedTreeFits(StagedTree tree, const char* destination, PathOverflow& overflow) {
    const StagedTreeExtent& extent = installState.stagedTrees[static_cast<int>(tree)];
    if (extent.longestFolder[0] && joinedLength(destination, extent.longestFolder) > kFolderLimit) {
        return noteOverflow(&overflow, destination, extent.longestFolder, kFolderLimit);
    }
    if (extent.longestFile[0] && joinedLength(destination, extent.longestFile) > kPathLimit) {
        return noteOverflow(&overflow, destination, extent.longestFile, kPathLimit);
    }
    return true;
}

// Forms the install directory into InstallState (left empty when it does not
// fit), then the other paths. false when ProgDir or ProgFile would lead out
// of the folder they are appended to, when one of the paths (or a path
// inside either tree at its destination) does not fit, then named in
// `overflow` with a non-zero length, or when there are documents but no
// documents folder to put them in.
bool formPaths(StepPaths& paths, PathOverflow& overflow) {
    char installDir[kPathSize];
    installState.installDir[0] = '\0';
    overflow.length = 0;
    // ProgDir and ProgFile are appended to folders: they must stay inside.
    if (!isSafeEntryName(setupString(Slot::ProgDir)) || !isSafeEntryName(setupString(Slot::ProgFile))) {
        return false;
    }
    if (!joinStepPath(installDir, installState.baseDir, setupString(Slot::ProgDir), kFolderLimit, overflow)) {
        return false;
    }
    copyText(installState.installDir, kPathSize, installDir);

    char programFile[kPathSize];
    paths.documentsDestination[0] = '\0';
    if (!formatText(programFile, sizeof programFile, "%s.exe", setupString(Slot::ProgFile)) ||
        !joinStepPath(paths.programSource, installState.stagingDir, "Program", kFolderLimit, overflow) ||
        !joinStepPath(paths.documentsSource, installState.stagingDir, "Documents", kFolderLimit, overflow) ||
        !joinStepPath(paths.programPath, installDir, programFile, kPathLimit, overflow) ||
        !stagedTreeFits(StagedTree::Program, installDir, overflow)) {
        return false;
    }
    if (!isDirectory(paths.documentsSource)) return true;

    char documentsFolder[kPathSize];
    return getPersonalFolder(documentsFolder) &&
           joinStepPath(paths.documentsDestination, documentsFolder, setupString(Slot::ProgDir), kFolderLimit,
                        overflow) &&
           stagedTreeFits(StagedTree::Documents, paths.documentsDestination, overflow);
}

// Names a path that does not fit, captioned ProgName, before anything is
// copied.
void showOverflow(HWND owner, const PathOverflow& overflow) {
    char reason[100];
    describeOverflow(reason, sizeof reason, overflow);
    char text[sizeof overflow.path + sizeof reason + 32];
    formatText(text, sizeof text, "Unable to create file.\n\n%s\n\n%s", overflow.path, reason);
    MessageBoxA(owner, text, setupString(Slot::ProgName), MB_OK);
}

}  // namespace

// A failed copy is rolled back through the journals: a destination folder
// that this run created goes whole; in one that existed (an earlier install,
// the user's documents) only what this run created goes, and below a folder
// that existed as a link nothing goes (TreeCopy.h). The removal itself never
// reaches through a link (FileOps.h).
int installProgram(HWND owner) {
    markPhase("copy");
    installState.programPath[0] = '\0';
    StepPaths paths;
    PathOverflow overflow;
    if (!formPaths(paths, overflow)) {
        if (overflow.length) showOverflow(owner, overflow);
        return 0;
    }

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
    markPhase("registration");
    registerProgram();
    markPhase("shortcuts");
    createShortcuts();
    return 1;
}
