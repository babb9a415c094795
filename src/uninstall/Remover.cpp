// The removal run: the parts (RemoverParts.h) in the order Remover.h gives.
#include "uninstall/Remover.h"

#include <shlobj.h>

#include "uninstall/RemoverParts.h"
#include "uninstall/setup-uninstall.h"

Removal removal;

namespace {

// How long the program gets to end before the user is asked (or, quiet, the
// run gives up).
constexpr DWORD kWaitMs = 30000;
constexpr DWORD kQuietWaitMs = 120000;

bool waitForProgram() {
    const RemoverRequest& request = *removal.request;
    if (request.waitCount == 0) return true;
    for (;;) {
        DWORD result = WaitForMultipleObjects(request.waitCount, request.waits, TRUE,
                                              request.quiet ? kQuietWaitMs : kWaitMs);
        if (result != WAIT_TIMEOUT) return true;  // ended (or not waitable: the removal will tell)
        if (request.quiet || show(MB_RETRYCANCEL | MB_ICONEXCLAMATION, removal.messages[StillRunning]) != IDRETRY) {
            return false;
        }
    }
}

const char kFolderIsLink[] =
    "The install folder is a link to another place. Nothing has been removed.";

// Everything after the install was found.
int removeInstall() {
    readMessages();
    if (installFolderIsLink()) return refuse(kFolderIsLink);
    if (!programBelongs()) return refuse(removal.messages[Refused]);
    // Survey first: a run with nothing left says so and touches nothing.
    bool found = fileTypeStep(false) | appPathStep(false) | vendorStep(false) | shortcutsStep(false) |
                 filesStep(false) | removal.entryOurs;
    if (!found) {
        tell(Nothing, MB_ICONINFORMATION);
        return SETUP_UNINSTALL_NOTHING;
    }
    if (!removal.request->quiet && show(MB_YESNO | MB_ICONQUESTION, removal.messages[Confirm]) != IDYES) {
        return SETUP_UNINSTALL_CANCELLED;
    }
    fileTypeStep(true);
    appPathStep(true);
    vendorStep(true);
    shortcutsStep(true);
    filesStep(true);
    if (removal.typeRemoved) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    // What is known now: what stays by design (the user's files, changed
    // files, links), and what failed for good. The files still there may be
    // the running program's: they are tried once it has ended.
    bool kept = surveyWhatStays();
    int early = removal.interrupted || removal.failed ? SETUP_UNINSTALL_INCOMPLETE
                : kept                                ? SETUP_UNINSTALL_FOLDER_KEPT
                                                      : SETUP_UNINSTALL_REMOVED;
    report(early);
    int result = waitForProgram() ? finishFiles(removeEntry) : SETUP_UNINSTALL_INCOMPLETE;
    if (removal.interrupted) result = SETUP_UNINSTALL_INCOMPLETE;
    tellOutcome(result);
    return result;
}

}  // namespace

bool proceed() {
    if (removal.interrupted) return false;
    if (removal.stepsDone++ == removal.request->stopBeforeStep) {
        removal.interrupted = true;
        return false;
    }
    return true;
}

int runRemover(const RemoverRequest& request) {
    ZeroMemory(&removal, sizeof removal);  // a test may run it more than once
    removal.request = &request;
    removal.reportPipe = request.report;
    ManifestStore store;
    int result = findInstall(store) ? removeInstall() : refuse(nullptr);
    report(result);  // unless the early result went already
    return result;
}
