// The files part of the removal: the files and folders the manifests list,
// inside the install folder, never through a link.
//
// A listed file goes while it is the install's: its manifest recorded its
// size and last-write time and it still has them, or its manifest (one
// written before records existed) names it only. A file the user changed,
// one the lists do not name, and a link to another place stay, and keep the
// folder. A link is never entered: a listed name below one is left alone,
// and a link standing where the list names a file or folder stays, with what
// it points to.
//
// The program and its manifests go last and together, with the uninstall
// entry, once nothing else of the install is left, so that a run cut short
// at any point before can be run again with the same command and finishes.
#include "common/Format.h"
#include "common/Scoped.h"
#include "uninstall/RemoverParts.h"

namespace {

// How long a file held for a moment (a scanner, the image mapping of a
// program that has just ended) is tried again before it counts as failed.
constexpr DWORD kRetryMs = 3000;
constexpr DWORD kRetryStepMs = 100;
// A stored time may be rounded by the file system (FAT: two seconds).
constexpr ULONGLONG kTimeSlack = 2 * 10000000ull;

bool isTransient(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(const char* a, size_t aLength, const char* b, size_t bLength) {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

bool isReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when a folder between the install folder and `path` is a link: the
// name leads to another place.
bool passesThroughLink(const WCHAR* path) {
    WCHAR part[kPathSize];
    lstrcpynW(part, path, kPathSize);
    for (int i = lstrlenW(removal.folderW) + 1; part[i]; ++i) {
        if (part[i] != L'\\') continue;
        part[i] = L'\0';
        bool link = isReparsePoint(GetFileAttributesW(part));
        part[i] = L'\\';
        if (link) return true;
    }
    return false;
}

ULONGLONG writeTimeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// True when the listed file `index` (which exists, with `data`) is the
// install's: some list names it without a record, or with a record it
// still matches.
bool isOurs(size_t index, const WIN32_FILE_ATTRIBUTE_DATA& data) {
    const Listed& wanted = removal.listed[index];
    ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    ULONGLONG time = writeTimeOf(data);
    for (size_t i = 0; i < removal.listedCount; ++i) {
        const Listed& entry = removal.listed[i];
        if (entry.folder || !sameName(entry.name, entry.length, wanted.name, wanted.length)) continue;
        if (!entry.recorded) return true;
        ULONGLONG apart = time > entry.writeTime ? time - entry.writeTime : entry.writeTime - time;
        if (entry.size == size && apart <= kTimeSlack) return true;
    }
    return false;
}

// A link standing in a listed place (the user moved a folder elsewhere and
// left a link): it stays, and so does what it points to. Removing even the
// link is left to the user: a platform that followed it while removing would
// remove the other place.
void keepLink(const WCHAR* path) { noteStayed(path, Stayed::Link, 0); }

// One try; the platform's error, 0 on success.
DWORD tryRemoveFile(const WCHAR* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileW(path)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return error;
    }
    // Gone, not only said to be: Wine's DeleteFile reports success for a
    // delete that the folder's permissions refused.
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? 0 : ERROR_ACCESS_DENIED;
}

// Tries again while the failure may pass; then, with a window, asks.
bool removeWithRetry(const WCHAR* path) {
    for (;;) {
        DWORD start = GetTickCount();
        DWORD error = tryRemoveFile(path);
        while (error && isTransient(error) && GetTickCount() - start < kRetryMs) {
            Sleep(kRetryStepMs);
            error = tryRemoveFile(path);
        }
        if (!error) return true;
        if (!askRetry(path, error)) {
            noteStayed(path, isTransient(error) ? Stayed::InUse : Stayed::Failed, error);
            return false;
        }
    }
}

// Opens `path` for deletion, trying again while the failure may pass.
HANDLE openForDeletion(const WCHAR* path, bool folder) {
    DWORD flags = folder ? FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT : FILE_FLAG_OPEN_REPARSE_POINT;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE | (folder ? FILE_SHARE_WRITE : 0);
    DWORD start = GetTickCount();
    for (;;) {
        HANDLE handle = CreateFileW(path, DELETE, share, nullptr, OPEN_EXISTING, flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        DWORD error = GetLastError();
        if (!isTransient(error) || GetTickCount() - start >= kRetryMs) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        Sleep(kRetryStepMs);
    }
}

bool markForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Removes an empty folder. A folder customised with a Desktop.INI is a
// system (or read-only) folder, which the platform may refuse to remove:
// those bits go first, and come back when the folder stays (not empty).
// `counted`: a step of its own (else part of the last step).
void removeFolder(const WCHAR* path, bool counted) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (counted && !proceed()) return;
    DWORD marks = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    if (marks) SetFileAttributesW(path, attributes & ~marks);
    if (!RemoveDirectoryW(path) && marks) SetFileAttributesW(path, attributes);
}

// The index of the listed entry `name` (UTF-8), or listedCount.
size_t findListed(const char* name, size_t length, bool folder) {
    for (size_t i = 0; i < removal.listedCount; ++i) {
        const Listed& entry = removal.listed[i];
        if (entry.folder == folder && sameName(entry.name, entry.length, name, length)) return i;
    }
    return removal.listedCount;
}

// Walks the folder `path` (relative name `relative`, UTF-8, "" for the
// install folder), noting what stays and why; true when anything does. The
// program and the manifests do not count: they go last. Links are never
// entered.
bool noteWhatStays(const WCHAR* path, const char* relative) {
    WCHAR pattern[kPathSize];
    if (lstrlenW(path) + 3 >= static_cast<int>(kPathSize)) return true;
    lstrcpynW(pattern, path, kPathSize);
    lstrcatW(pattern, L"\\*");
    WIN32_FIND_DATAW found;
    ScopedFind find(FindFirstFileW(pattern, &found));
    if (!find.isValid()) return false;
    bool stays = false;
    do {
        const WCHAR* name = found.cFileName;
        bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
        WCHAR full[kPathSize];
        if (lstrlenW(path) + 1 + lstrlenW(name) >= static_cast<int>(kPathSize)) {
            noteStayed(path, Stayed::Failed, ERROR_FILENAME_EXCED_RANGE);
            stays = true;
            continue;
        }
        lstrcpynW(full, path, kPathSize);
        lstrcatW(full, L"\\");
        lstrcatW(full, name);
        if (!folder && (isProgram(full) || isManifest(full))) continue;
        char child[3 * kPathSize];
        int used = formatText(child, sizeof child, "%s%s", relative, relative[0] ? "\\" : "") ? lstrlenA(child) : -1;
        int length = used < 0 ? 0
                              : WideCharToMultiByte(CP_UTF8, 0, name, -1, child + used,
                                                    static_cast<int>(sizeof child) - used, nullptr, nullptr);
        if (length <= 0) return true;
        size_t childLength = static_cast<size_t>(used + length - 1);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            noteStayed(full, Stayed::Link, 0);
            stays = true;
            continue;
        }
        size_t index = findListed(child, childLength, folder);
        if (index == removal.listedCount) {
            noteStayed(full, Stayed::Added, 0);
            stays = true;
            continue;
        }
        if (folder) {
            if (noteWhatStays(full, child)) stays = true;
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(full, GetFileExInfoStandard, &data) && !isOurs(index, data)) {
            noteStayed(full, Stayed::Changed, 0);
            stays = true;
        }
    } while (FindNextFileW(find.get(), &found));
    return stays;
}

// This process must not hold the install folder as its working folder.
void leaveInstallFolder() {
    WCHAR current[kPathSize];
    DWORD length = GetCurrentDirectoryW(kPathSize, current);
    if (length == 0 || length >= kPathSize) return;
    WCHAR canonical[kPathSize];
    if (!canonicalPath(current, canonical) || !(samePath(canonical, removal.folderW) || isInsideInstall(canonical))) {
        return;
    }
    WCHAR system[kPathSize];
    length = GetSystemDirectoryW(system, kPathSize);
    if (length > 0 && length < kPathSize) SetCurrentDirectoryW(system);
}

// Each listed file (not the program, not a manifest) as it stands: its path
// and attributes; false to pass it over.
bool listedFileAt(size_t i, WCHAR (&path)[kPathSize], DWORD& attributes) {
    const Listed& entry = removal.listed[i];
    if (entry.repeated || !pathOf(entry, path) || isManifest(path) || isProgram(path)) return false;
    attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !passesThroughLink(path);
}

// The listed folders, deepest first, each when empty; a link is never one.
void removeListedFolders(bool counted) {
    for (size_t i = removal.listedCount; i-- > 0;) {
        WCHAR path[kPathSize];
        DWORD attributes = 0;
        if (!removal.listed[i].folder || !listedFileAt(i, path, attributes)) continue;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) removeFolder(path, counted);
    }
}

// The handles of what goes last, each open for deletion.
struct HeldFiles {
    ScopedHandle handles[kManifestLimit + 1];
    int count = 0;
};

// 0 when a file can be made, and so deleted, in the folder of `path`; else
// the platform's error. What goes last is deleted through handles marked
// for deletion once the uninstall entry is gone, and a platform may accept
// the mark and then fail to delete (Wine, where a folder's permissions are
// checked only when the file goes): the entry would be gone with the
// program still there. A probe file made and removed first tells.
DWORD folderRefusesDeletion(const WCHAR* path) {
    static const WCHAR kProbe[] = L"setup-uninstall-probe.tmp";
    const int length = lstrlenW(path);
    int folder = length;
    while (folder > 0 && path[folder - 1] != L'\\') --folder;
    if (folder == 0) return ERROR_BAD_PATHNAME;
    // A folder too deep for the probe's name is not probed: the handle's
    // own open tells, as it does wherever the platform checks permissions
    // when a file is opened for deletion.
    if (folder + lstrlenW(kProbe) >= static_cast<int>(kPathSize)) return 0;
    WCHAR probe[kPathSize];
    lstrcpynW(probe, path, folder + 1);
    lstrcpynW(probe + folder, kProbe, static_cast<int>(kPathSize) - folder);
    HANDLE handle = CreateFileW(probe, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // One left behind by a run that was cut short: it can go now.
        if (error != ERROR_FILE_EXISTS) return error;
        return DeleteFileW(probe) ? folderRefusesDeletion(path) : GetLastError();
    }
    CloseHandle(handle);
    return GetFileAttributesW(probe) == INVALID_FILE_ATTRIBUTES ? 0 : ERROR_ACCESS_DENIED;
}

bool holdForDeletion(HeldFiles& held, const WCHAR* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (isReparsePoint(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        noteStayed(path, Stayed::Link, 0);
        return false;
    }
    if (DWORD refused = folderRefusesDeletion(path)) {
        noteStayed(path, Stayed::Failed, refused);
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    HANDLE handle = openForDeletion(path, false);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        noteStayed(path, isTransient(error) ? Stayed::InUse : Stayed::Failed, error);
        return false;
    }
    held.handles[held.count++].reset(handle);
    return true;
}

}  // namespace

bool filesStep(bool apply) {
    bool found = false;
    for (size_t i = removal.listedCount; i-- > 0;) {
        WCHAR path[kPathSize];
        DWORD attributes = 0;
        if (!listedFileAt(i, path, attributes)) continue;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (apply) keepLink(path);
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (removal.listed[i].folder || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !GetFileAttributesExW(path, GetFileExInfoStandard, &data) || !isOurs(i, data)) {
            continue;
        }
        found = true;
        // One try: what is in use now may be the running program's, and is
        // tried again once it has ended.
        if (apply && proceed()) tryRemoveFile(path);
    }
    return found;
}

bool surveyWhatStays() { return noteWhatStays(removal.folderW, ""); }

int finishFiles(void (*removeEntryStep)()) {
    leaveInstallFolder();
    bool complete = true;
    for (size_t i = removal.listedCount; i-- > 0;) {
        WCHAR path[kPathSize];
        DWORD attributes = 0;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!listedFileAt(i, path, attributes) || removal.listed[i].folder ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            !GetFileAttributesExW(path, GetFileExInfoStandard, &data) || !isOurs(i, data)) {
            continue;
        }
        if (!proceed() || !removeWithRetry(path)) complete = false;
    }
    if (!complete) return SETUP_UNINSTALL_INCOMPLETE;
    removeListedFolders(true);
    bool kept = surveyWhatStays();
    if (removal.failed) return SETUP_UNINSTALL_INCOMPLETE;

    // The install folder, when nothing else stays in it, is held for
    // deletion before the last files go: a folder in use (the working
    // folder of a program still running) is found while the program and
    // its manifests are still there to run "-u" again.
    ScopedHandle folder;
    DWORD folderAttributes = GetFileAttributesW(removal.folderW);
    if (!kept) {
        // Only the marks the installer gives a folder it customised (a
        // listed Desktop.INI) are taken off: a read-only mark of another
        // origin is the folder's own, and on some platforms (Wine) it stands
        // for the permission to write in it, which the removal must not give
        // itself.
        const DWORD marks = findListed("Desktop.INI", 11, false) != removal.listedCount
            ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM
            : FILE_ATTRIBUTE_SYSTEM;
        if (folderAttributes & marks) {
            SetFileAttributesW(removal.folderW, folderAttributes & ~marks);
        }
        folder.reset(openForDeletion(removal.folderW, true));
        if (!folder.isValid()) {
            DWORD error = GetLastError();
            SetFileAttributesW(removal.folderW, folderAttributes);
            noteStayed(removal.folderW, isTransient(error) ? Stayed::InUse : Stayed::Failed, error);
            return SETUP_UNINSTALL_INCOMPLETE;
        }
    }
    HeldFiles held;
    if (!holdForDeletion(held, removal.programW)) return SETUP_UNINSTALL_INCOMPLETE;
    for (int i = 0; i < removal.manifestCount; ++i) {
        if (!holdForDeletion(held, removal.manifestsW[i])) return SETUP_UNINSTALL_INCOMPLETE;
    }
    if (!proceed()) return SETUP_UNINSTALL_INCOMPLETE;
    // One step: the program and its manifests are marked together, the
    // uninstall entry goes, and the files go as their handles close. Until
    // then every earlier state can be finished by "-u" again.
    bool marked = true;
    for (int i = 0; i < held.count; ++i) marked = markForDeletion(held.handles[i].get()) && marked;
    removeEntryStep();
    for (int i = 0; i < held.count; ++i) held.handles[i].reset();
    if (!marked) {
        // Where marking through a handle is refused: deleted by name.
        if (!removeWithRetry(removal.programW)) return SETUP_UNINSTALL_INCOMPLETE;
        for (int i = 0; i < removal.manifestCount; ++i) {
            if (!removeWithRetry(removal.manifestsW[i])) return SETUP_UNINSTALL_INCOMPLETE;
        }
    }
    removeListedFolders(false);  // those that held the program
    if (kept) return SETUP_UNINSTALL_FOLDER_KEPT;
    bool gone = markForDeletion(folder.get());
    folder.reset();
    if (!gone) gone = RemoveDirectoryW(removal.folderW) != 0;
    if (!gone) {
        DWORD error = GetLastError();
        SetFileAttributesW(removal.folderW, folderAttributes);
        noteStayed(removal.folderW, isTransient(error) ? Stayed::InUse : Stayed::Failed, error);
        return SETUP_UNINSTALL_INCOMPLETE;
    }
    return SETUP_UNINSTALL_REMOVED;
}
