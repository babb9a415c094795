#include "ui/InstallPrompt.h"

#include "common/Format.h"
#include "common/InstallState.h"
#include "res/resource.h"
#include "ui/DirectoryDialog.h"

namespace {

// The texts of the prompt's labels and buttons, in the order they are set;
// the base directory goes into the hidden edit after the first.
const ControlText kTexts[] = {{IDC_DESCRIPTION, Slot::InstallDesc},
                              {IDC_PROG_DIR_LABEL, Slot::InstallProgDir},
                              {IDC_CHANGE, Slot::InstallChange},
                              {IDYES, Slot::InstallYes},
                              {IDNO, Slot::InstallNo}};

// Shown only for a fresh install: for an existing installation the base
// directory is the one it was installed under.
const int kDirectoryControls[] = {IDC_PROG_DIR_LABEL, IDC_INSTALL_DIR, IDC_CHANGE};

INT_PTR initPrompt(HWND dialog) {
    initDialogTexts(dialog, kTexts, sizeof kTexts / sizeof kTexts[0]);
    if (installState.freshInstall != 0) return 1;

    for (int id : kDirectoryControls) ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    EnableWindow(GetDlgItem(dialog, IDC_CHANGE), FALSE);
    return 1;
}

// Yes (and Enter): stores a usable base directory and ends with 6; otherwise
// says NotDir under the rejected directory and stays open.
void confirm(HWND dialog) {
    char baseDir[kPathSize];
    readBaseDirEdit(dialog, baseDir);
    if (!isUsableBaseDir(baseDir)) {
        MessageBoxA(dialog, setupString(Slot::NotDir), installState.baseDir, MB_OK);
        return;
    }
    copyText(installState.baseDir, kPathSize, baseDir);
    EndDialog(dialog, IDYES);
}

// Change: the directory dialog edits the base directory of InstallState; on
// OK the hidden edit takes it over, and with it the preview.
void changeBaseDir(HWND dialog) {
    readBaseDirEdit(dialog, installState.baseDir);
    INT_PTR result = DialogBoxParamA(installState.instance, MAKEINTRESOURCEA(IDD_DIRECTORY), dialog,
                                     directoryDialogProc, 0);
    if (result == IDOK) SetDlgItemTextA(dialog, IDC_BASE_DIR, installState.baseDir);
}

void onPromptCommand(HWND dialog, WORD id, WORD notification) {
    switch (id) {
    case IDCANCEL:  // Escape and the close box
    case IDNO:
        EndDialog(dialog, IDCANCEL);
        break;
    case IDYES:
        confirm(dialog);
        break;
    case IDC_BASE_DIR:
        if (notification == EN_CHANGE) updateInstallDirPreview(dialog);
        break;
    case IDC_CHANGE:
        changeBaseDir(dialog);
        break;
    }
}

}  // namespace

INT_PTR CALLBACK installPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return initPrompt(dialog);
    if (message != WM_COMMAND) return 0;
    onPromptCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    return 1;
}
