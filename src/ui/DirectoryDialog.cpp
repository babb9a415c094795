#include "ui/DirectoryDialog.h"

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Paths.h"
#include "common/Process.h"
#include "deploy/FileOps.h"
#include "driver/RunSetup.h"
#include "res/resource.h"
#include "ui/OwnerWindow.h"

// Zero-initialised, so that it costs setup.exe no data section.
void (*exploreLauncher)(const char* program, const char* argument);

namespace {

// The user may type at most this many characters into the base-directory
// edit; a longer initial text stays whole.
constexpr WPARAM kTypedBaseDirLimit = 240;

const char kCutMark[] = "...";

// Ends a text that filled all `size` bytes of its buffer with "..." placed at
// a character boundary, so that a cut preview is seen to be cut.
void markAsCut(char* text, size_t size) {
    const char* limit = text + size - sizeof kCutMark;
    char* end = text;
    for (char* next = CharNextA(end); next != end && next <= limit; next = CharNextA(end)) end = next;
    copyText(end, sizeof kCutMark, kCutMark);
}

// The texts of the dialog's labels and buttons, in the order they are set;
// the base directory goes into its edit after the first.
const ControlText kTexts[] = {{IDC_BASE_DIR_LABEL, Slot::InstallBaseDir},
                              {IDC_PROG_DIR_LABEL, Slot::InstallProgDir},
                              {IDC_EXPLORE, Slot::InstallBrowse},
                              {IDOK, Slot::InstallOk},
                              {IDCANCEL, Slot::InstallCancel}};

INT_PTR initDirectoryDialog(HWND dialog) {
    initDialogTexts(dialog, kTexts, sizeof kTexts / sizeof kTexts[0]);
    // After the initial text, so that a longer base directory is not cut.
    SendDlgItemMessageA(dialog, IDC_BASE_DIR, EM_LIMITTEXT, kTypedBaseDirLimit, 0);
    return 1;
}

// OK: stores a usable typed directory and ends with 1; otherwise says NotDir
// under the rejected text and stays open.
void acceptTypedDirectory(HWND dialog) {
    char baseDir[kPathSize];
    readBaseDirEdit(dialog, baseDir);
    if (!isUsableBaseDir(baseDir)) {
        MessageBoxA(dialog, setupString(Slot::NotDir), baseDir, MB_OK);
        return;
    }
    copyText(installState.baseDir, kPathSize, baseDir);
    EndDialog(dialog, IDOK);
}

// Explore: opens the typed directory in the file browser, or the
// program-files folder when the text is not a directory. Changes nothing.
void exploreTypedDirectory(HWND dialog) {
    char directory[kPathSize];
    readBaseDirEdit(dialog, directory);
    // On failure the typed text is used as it stands.
    if (directory[0] == '\0' || !isDirectory(directory)) readProgramFilesDir(directory);
    (exploreLauncher ? exploreLauncher : launchProgram)("Explorer.exe", directory);
}

void onDirectoryCommand(HWND dialog, WORD id, WORD notification) {
    switch (id) {
    case IDOK:
        acceptTypedDirectory(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    case IDC_BASE_DIR:
        if (notification == EN_CHANGE) updateInstallDirPreview(dialog);
        break;
    case IDC_EXPLORE:
        exploreTypedDirectory(dialog);
        break;
    }
}

}  // namespace

INT_PTR CALLBACK directoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return initDirectoryDialog(dialog);
    if (message != WM_COMMAND) return 0;
    onDirectoryCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    return 1;
}

void launchProgram(const char* program, const char* argument) {
    // Room for two whole paths, their quotes and the blank between them.
    char commandLine[2 * kPathSize + 8];
    if (!formatText(commandLine, sizeof commandLine, "\"%s\" \"%s\"", program, argument)) return;
    startProgram(commandLine, nullptr);
}

void updateInstallDirPreview(HWND dialog) {
    char baseDir[kPathSize];
    readBaseDirEdit(dialog, baseDir);
    const char* progDir = setupString(Slot::ProgDir);
    char preview[kPathSize];
    // The install folder as the install step joins it (a base that ends in a
    // backslash, such as a drive's root, gets no second one). An empty base
    // still shows the backslash before ProgDir.
    bool whole = baseDir[0] ? joinPath(preview, sizeof preview, baseDir, progDir)
                            : formatText(preview, sizeof preview, "\\%s", progDir);
    // Only a preview: what is stored and installed is never this cut text.
    if (!whole) markAsCut(preview, sizeof preview);
    SetDlgItemTextA(dialog, IDC_INSTALL_DIR, preview);
}

bool isUsableBaseDir(const char* baseDir) {
    // The install step forms the install folder by the same rule and refuses
    // one past the folder limit: a base it would refuse is no base here.
    return baseDir[0] != '\0' && isDirectory(baseDir) &&
           joinedLength(baseDir, setupString(Slot::ProgDir)) <= kFolderLimit;
}

void initDialogTexts(HWND dialog, const ControlText* texts, size_t count) {
    centerWindow(dialog);
    SetWindowTextA(dialog, setupString(Slot::ProgName));
    for (size_t i = 0; i < count; ++i) {
        SetDlgItemTextA(dialog, texts[i].id, setupString(static_cast<Slot>(texts[i].slot)));
        // Setting the edit's text notifies EN_CHANGE, which fills the preview.
        if (i == 0) SetDlgItemTextA(dialog, IDC_BASE_DIR, installState.baseDir);
    }
}

void readBaseDirEdit(HWND dialog, char* baseDir) {
    baseDir[0] = '\0';
    GetDlgItemTextA(dialog, IDC_BASE_DIR, baseDir, kPathSize);
}
