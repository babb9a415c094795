// What the removal tells: its texts (keys of the manifest's language
// sections, copied from the setup INI, with English fallbacks), the early
// result through the launcher's pipe, and the outcome, which names what
// stayed and why.
#include "common/Format.h"
#include "config/SetupConfig.h"
#include "uninstall/RemoverParts.h"

namespace {

// Like the installer's texts, each is a format with ProgName, ProgVersion,
// ProgName.
const char* const kMessageKeys[MessageCount][2] = {
    {"Uninstall", "Uninstall %s"},
    {"UninstallConfirm", "Do you want to remove %s from this computer?\\n\\nYour documents are kept."},
    {"UninstallDone", "%s has been removed from this computer."},
    {"UninstallKept",
     "%s has been removed. Its folder was kept because it holds files that the installation did not put "
     "there (files you or the program made):"},
    {"UninstallFileFailed", "A file could not be removed. Close %s and any program that uses the file, then click "
                            "Retry."},
    {"UninstallIncomplete", "%s has not been removed completely. Uninstall it again to finish."},
    {"UninstallNothing", "%s is not installed here any more: there is nothing to remove."},
    {"UninstallRunning", "%s is still running. Close it, then click Retry."},
    {"UninstallRefused", "This program does not belong to the installation of %s that it found. Nothing has "
                         "been removed."},
};

// Why a thing stayed, after its path.
const char* const kReasonKeys[][2] = {
    {"UninstallReasonAdded", "added after the installation"},
    {"UninstallReasonChanged", "changed since the installation"},
    {"UninstallReasonLink", "a link to another place, left as it is"},
    {"UninstallReasonInUse", "in use by a running program"},
    {"UninstallReasonFailed", "could not be removed"},
};
constexpr int kReasonCount = sizeof kReasonKeys / sizeof kReasonKeys[0];
char reasons[kReasonCount][kTextSize];
int stayedTotal;

const char kNoManifest[] =
    "The uninstall information of this program (setup-uninstall.ini) is missing or damaged.\n\n"
    "Nothing has been removed.";

void readText(const char* key, const char* fallback, char* out) {
    const char* const args[] = {removal.progName, removal.progVersion, removal.progName};
    char raw[kTextSize];
    if (!removal.manifest[0] || !readChained(key, removal.language, raw, sizeof raw, removal.manifest)) {
        copyText(raw, sizeof raw, fallback);
    }
    convertLineBreaks(raw);
    formatDataText(out, kTextSize, raw, args, 3);
}

// "<message>\n\n<detail>", cut if it must be: it is only shown.
int showWithDetail(Message message, const char* detail, UINT type) {
    char text[4 * kTextSize];
    formatText(text, sizeof text, "%s\n\n%s", removal.messages[message], detail);
    return show(type, text);
}

// One line per thing that stayed: "<path>: <reason>".
void describeStayed(char* out, size_t size) {
    out[0] = '\0';
    for (int i = 0; i < removal.stayedCount; ++i) {
        const StayedItem& item = removal.stayed[i];
        char path[kPathSize];
        WideCharToMultiByte(CP_ACP, 0, item.path, -1, path, sizeof path, nullptr, nullptr);
        path[kPathSize - 1] = '\0';
        char line[kPathSize + kTextSize + 32];
        const char* reason = reasons[static_cast<int>(item.why)];
        if (item.error) formatText(line, sizeof line, "%s%s: %s (%u)", i ? "\n" : "", path, reason, static_cast<unsigned>(item.error));
        else formatText(line, sizeof line, "%s%s: %s", i ? "\n" : "", path, reason);
        appendText(out, size, line);
    }
    if (stayedTotal > removal.stayedCount) {
        char more[32];
        formatText(more, sizeof more, "\n(+%d)", stayedTotal - removal.stayedCount);
        appendText(out, size, more);
    }
}

}  // namespace

void readMessages() {
    for (int i = 0; i < MessageCount; ++i) readText(kMessageKeys[i][0], kMessageKeys[i][1], removal.messages[i]);
    for (int i = 0; i < kReasonCount; ++i) readText(kReasonKeys[i][0], kReasonKeys[i][1], reasons[i]);
    stayedTotal = 0;
}

int show(UINT type, const char* text) {
    return MessageBoxA(nullptr, text, removal.messages[Caption], type | MB_SETFOREGROUND);
}

void tell(Message message, UINT icon) {
    if (!removal.request->quiet) show(MB_OK | icon, removal.messages[message]);
}

bool askRetry(const WCHAR* path, DWORD error) {
    if (removal.request->quiet || removal.interrupted) return false;
    char shown[kPathSize];
    WideCharToMultiByte(CP_ACP, 0, path, -1, shown, sizeof shown, nullptr, nullptr);
    shown[kPathSize - 1] = '\0';
    char detail[kPathSize + 32];
    formatText(detail, sizeof detail, "%s (%u)", shown, static_cast<unsigned>(error));
    return showWithDetail(FileFailed, detail, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY;
}

void noteStayed(const WCHAR* path, Stayed why, DWORD error) {
    if (why == Stayed::InUse || why == Stayed::Failed) removal.failed = true;
    else removal.kept = true;
    for (int i = 0; i < removal.stayedCount; ++i) {
        if (samePath(removal.stayed[i].path, path)) {
            removal.stayed[i].why = why;
            removal.stayed[i].error = error;
            return;
        }
    }
    ++stayedTotal;
    if (removal.stayedCount == kStayedShown) return;
    StayedItem& item = removal.stayed[removal.stayedCount++];
    lstrcpynW(item.path, path, kPathSize);
    item.why = why;
    item.error = error;
}

void report(int result) {
    HANDLE pipe = removal.reportPipe;
    if (!pipe) return;
    removal.reportPipe = nullptr;
    DWORD value = static_cast<DWORD>(result);
    DWORD written = 0;
    WriteFile(pipe, &value, sizeof value, &written, nullptr);
    CloseHandle(pipe);
}

void tellOutcome(int result) {
    if (removal.request->quiet) return;
    char detail[3 * kTextSize];
    if (result == SETUP_UNINSTALL_REMOVED) {
        tell(Done, MB_ICONINFORMATION);
    } else if (result == SETUP_UNINSTALL_FOLDER_KEPT) {
        char items[2 * kTextSize];
        describeStayed(items, sizeof items);
        formatText(detail, sizeof detail, "%s\n\n%s", removal.folder, items);
        showWithDetail(Kept, detail, MB_OK | MB_ICONINFORMATION);
    } else {
        describeStayed(detail, sizeof detail);
        if (detail[0]) showWithDetail(Incomplete, detail, MB_OK | MB_ICONEXCLAMATION);
        else tell(Incomplete, MB_ICONEXCLAMATION);
    }
}

int refuse(const char* why) {
    if (!removal.request->quiet) {
        MessageBoxA(nullptr, why ? why : kNoManifest, "Uninstall", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
    return SETUP_UNINSTALL_FAILED;
}
