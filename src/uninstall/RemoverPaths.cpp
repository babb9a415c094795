// Paths of the removal: made canonical (full, long form, no trailing
// backslash) and compared as the file system compares names: ordinal,
// ignoring case.
#include "uninstall/RemoverParts.h"

bool copyWide(WCHAR* out, int size, const WCHAR* text) {
    if (lstrlenW(text) >= size) return false;
    lstrcpynW(out, text, size);
    return true;
}

// "<folder>\<name>" into `out`; false when it does not fit.
bool joinWide(WCHAR (&out)[kPathSize], const WCHAR* folder, const WCHAR* name) {
    int used = lstrlenW(folder);
    if (used + 1 + lstrlenW(name) >= static_cast<int>(kPathSize)) return false;
    lstrcpynW(out, folder, kPathSize);
    out[used] = L'\\';
    lstrcpynW(out + used + 1, name, kPathSize - used - 1);
    return true;
}

WCHAR* lastSeparator(WCHAR* path) {
    WCHAR* last = nullptr;
    for (WCHAR* p = path; *p; ++p) {
        if (*p == L'\\') last = p;
    }
    return last;
}

bool toAnsi(const WCHAR* text, char* out, int size) {
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, size, nullptr, &lossy);
    return length > 0 && !lossy;
}

bool toWide(const char* text, WCHAR* out, int size) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) > 0;
}

bool canonicalPath(const WCHAR* path, WCHAR (&out)[kPathSize]) {
    WCHAR full[kPathSize];
    DWORD length = GetFullPathNameW(path, kPathSize, full, nullptr);
    if (length == 0 || length >= kPathSize) return false;
    length = GetLongPathNameW(full, out, kPathSize);
    if (length >= kPathSize) return false;
    if (length == 0) {
        // Gone already, or a parent spelled short that does not exist: the
        // long form of the longest part that exists, and the rest as given.
        WCHAR head[kPathSize];
        lstrcpynW(head, full, kPathSize);
        WCHAR* cut = lastSeparator(head);
        if (!cut || cut - head < 3) return copyWide(out, kPathSize, full);
        *cut = L'\0';
        WCHAR longHead[kPathSize];
        if (!canonicalPath(head, longHead)) return false;
        if (!joinWide(out, longHead, full + (cut - head) + 1)) return false;
    }
    int end = lstrlenW(out);
    if (end > 3 && out[end - 1] == L'\\') out[end - 1] = L'\0';
    return true;
}

bool samePath(const WCHAR* a, const WCHAR* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

bool isInsideInstall(const WCHAR* path) {
    const WCHAR* const folders[] = {removal.folderW, removal.shortFolderW};
    for (const WCHAR* folder : folders) {
        int length = lstrlenW(folder);
        if (length > 0 && lstrlenW(path) > length && path[length] == L'\\' &&
            CompareStringOrdinal(path, length, folder, length, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// A value names this install when a path in it (a quoted part, or the text
// from a drive letter up to a comma or a quote) lies inside the install
// folder once made canonical.
bool namesThisInstall(const char* value) {
    WCHAR wideValue[kTextSize];
    if (!toWide(value, wideValue, kTextSize)) return false;
    for (const WCHAR* p = wideValue; *p; ++p) {
        bool drive = p[1] == L':' && (p[2] == L'\\' || p[2] == L'/');
        bool unc = p[0] == L'\\' && p[1] == L'\\';
        if (!drive && !unc) continue;
        WCHAR candidate[kPathSize];
        int length = 0;
        while (p[length] && p[length] != L'"' && p[length] != L',' && length + 1 < static_cast<int>(kPathSize)) {
            candidate[length] = p[length];
            ++length;
        }
        candidate[length] = L'\0';
        WCHAR canonical[kPathSize];
        if (canonicalPath(candidate, canonical) && isInsideInstall(canonical)) return true;
        p += length > 0 ? length - 1 : 0;
    }
    return false;
}

bool pathOf(const Listed& entry, WCHAR (&path)[kPathSize]) {
    int used = lstrlenW(removal.folderW);
    if (used + 2 >= static_cast<int>(kPathSize)) return false;
    lstrcpynW(path, removal.folderW, kPathSize);
    path[used++] = L'\\';
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, entry.name, static_cast<int>(entry.length),
                                     path + used, static_cast<int>(kPathSize) - used - 1);
    if (length <= 0) return false;
    path[used + length] = L'\0';
    return true;
}

bool isProgram(const WCHAR* path) { return samePath(path, removal.programW); }

bool isManifest(const WCHAR* path) {
    for (int i = 0; i < removal.manifestCount; ++i) {
        if (samePath(path, removal.manifestsW[i])) return true;
    }
    return false;
}
