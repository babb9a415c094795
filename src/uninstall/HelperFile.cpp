// The removal helper's file. Nothing may replace it, or be put beside it,
// between its writing and its start: the helper runs with administrator
// rights (also as the system account, whose temp folder every user may add
// to), and a program is looked for first in its own folder, DLLs too.
//
// The folder: a new one under the temp folder, with a random name, that
// this call created (CreateDirectory fails on a name that exists, so a
// folder made in advance by someone else is never used). Its protected DACL
// lets in only this process's user, the administrators and the system;
// what is made in the system's temp folder would otherwise inherit "every
// user may add files". It is held open without delete sharing (so that it
// cannot be renamed or replaced) and with FILE_FLAG_DELETE_ON_CLOSE.
//
// The file: created new (CREATE_NEW), so it inherits the folder's rules.
// Before anything is written, a keeper handle is opened for reading, without
// delete sharing and with FILE_FLAG_DELETE_ON_CLOSE. It shares writing, as it
// must while the creating handle is open (the loader refuses a file that a
// writer holds, so that one is closed before the start); only processes with
// this user's or the administrators' rights could open it for writing then.
// From the keeper's opening until the started process holds the file as its
// image, the file can be neither renamed nor deleted, nor written by anyone
// else.
//
// The helper takes both keepers over (duplicated from the launcher's
// process) and holds them to its end, when the file goes and then the
// folder. Where the platform cannot delete a program's file as it ends, the
// helper also has both deleted at the system's next start.
#include "uninstall/HelperFile.h"

namespace {

const WCHAR kFileName[] = L"sun-remover.exe";
// What the folder's and the file's names add to the temp folder's path:
// "sun", 16 digits, a backslash, the file name.
constexpr DWORD kNameRoom = 3 + 16 + 1 + sizeof kFileName / sizeof kFileName[0];

// A security descriptor that grants everything to this process's user, the
// administrators and the system, and nothing to anyone else, inherited by
// what is made inside.
class AccessRules {
public:
    bool build() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
        DWORD got = 0;
        BOOL known = GetTokenInformation(token, TokenUser, user_, sizeof user_, &got);
        CloseHandle(token);
        ACL* acl = reinterpret_cast<ACL*>(acl_);
        if (!known || !InitializeAcl(acl, sizeof acl_, ACL_REVISION) ||
            !AddAccessAllowedAceEx(acl, ACL_REVISION, kInherited, FILE_ALL_ACCESS,
                                   reinterpret_cast<TOKEN_USER*>(user_)->User.Sid) ||
            !allow(acl, WinBuiltinAdministratorsSid, sids_[0]) || !allow(acl, WinLocalSystemSid, sids_[1])) {
            return false;
        }
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
        return InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
               SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

private:
    static constexpr DWORD kSidWords = SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1;
    static constexpr DWORD kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

    static bool allow(ACL* acl, WELL_KNOWN_SID_TYPE type, DWORD* sid) {
        DWORD size = kSidWords * sizeof(DWORD);
        return CreateWellKnownSid(type, nullptr, sid, &size) &&
               AddAccessAllowedAceEx(acl, ACL_REVISION, kInherited, FILE_ALL_ACCESS, sid);
    }

    DWORD user_[sizeof(TOKEN_USER) / sizeof(DWORD) + kSidWords];
    DWORD sids_[2][kSidWords];
    DWORD acl_[(sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + kSidWords * sizeof(DWORD))) / sizeof(DWORD)];
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_;
};

// "sun" and 16 hexadecimal digits of the platform's random numbers. The name
// is not what keeps the folder safe (its exclusive creation and its rules
// do), but a name nobody can foresee cannot be taken in advance.
void appendRandomName(WCHAR* out) {
    unsigned char bytes[8] = {};
    using RandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    RandomFn random = advapi ? reinterpret_cast<RandomFn>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(advapi, "SystemFunction036")))
                             : nullptr;
    if (!random || !random(bytes, sizeof bytes)) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        ULONGLONG mixed = static_cast<ULONGLONG>(now.QuadPart) ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 40);
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(mixed);
            mixed = (mixed >> 8) | (mixed << 56);
        }
    }
    const char digits[] = "0123456789ABCDEF";
    out[0] = L's';
    out[1] = L'u';
    out[2] = L'n';
    for (int i = 0; i < 8; ++i) {
        out[3 + 2 * i] = static_cast<WCHAR>(digits[bytes[i] >> 4]);
        out[4 + 2 * i] = static_cast<WCHAR>(digits[bytes[i] & 15]);
    }
    out[19] = L'\0';
}

bool writeAll(HANDLE file, const void* bytes, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

// Copies the calling executable's file into `file`.
bool copyOwnImage(HANDLE file) {
    WCHAR own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    ScopedHandle source(CreateFileW(own, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!source.isValid()) return false;
    unsigned char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source.get(), buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        if (!writeAll(file, buffer, got)) return false;
    }
}

}  // namespace

bool HelperFile::makeFolder(WCHAR (&folder)[MAX_PATH]) {
    DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length + kNameRoom >= MAX_PATH) return false;
    AccessRules rules;
    if (!rules.build()) return false;
    // A name that exists is never used: another is drawn.
    bool made = false;
    for (int attempt = 0; attempt < 8 && !made; ++attempt) {
        appendRandomName(folder + length);
        made = CreateDirectoryW(folder, rules.attributes()) != FALSE;
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    if (!made) return false;
    folder_.reset(CreateFileW(folder, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr));
    if (!folder_.isValid()) {
        RemoveDirectoryW(folder);
        return false;
    }
    // What this call made is a folder, not a link to one.
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(folder_.get(), &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY;
}

bool HelperFile::write(const void* image, DWORD size) {
    WCHAR folder[MAX_PATH];
    if (!makeFolder(folder)) return false;
    // Fits: makeFolder left room for the name.
    lstrcpyW(path_, folder);
    lstrcatW(path_, L"\\");
    lstrcatW(path_, kFileName);
    ScopedHandle writer(CreateFileW(path_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writer.isValid()) return false;
    file_.reset(CreateFileW(path_, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file_.isValid()) {
        writer.reset();
        DeleteFileW(path_);
        return false;
    }
    return image ? writeAll(writer.get(), image, size) : copyOwnImage(writer.get());
}
