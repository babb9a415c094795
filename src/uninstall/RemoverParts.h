#pragma once
// The parts of one removal run and what they share: the install as the run
// found it. Each part owns one subject and its guards; Remover.cpp runs them
// in the order described in Remover.h.
//   RemoverOwnership.cpp  which install this is, under which names, and
//                         whether the calling program belongs to it
//   RemoverLists.cpp      the install's manifests (every version's) and lists
//   RemoverPaths.cpp      paths made canonical and compared ordinally
//   RemoverFiles.cpp      the listed files and folders, never through a link
//   RemoverRegistry.cpp   the values and keys the installer wrote
//   RemoverShortcuts.cpp  the two shortcuts
//   RemoverReport.cpp     the texts, what stayed and why, the early result
#include <windows.h>

#include "common/InstallState.h"
#include "uninstall/Remover.h"
#include "uninstall/setup-uninstall.h"

// How many manifests one install folder may hold: the current one and one
// record per version installed there before.
constexpr int kManifestLimit = 64;
// How many of the things that stayed the outcome names.
constexpr int kStayedShown = 6;

// One name of the manifests' lists, with what identifies the file as the
// install's when its manifest recorded it (a manifest written before the
// records existed names files only).
struct Listed {
    const char* name;  // UTF-8, not terminated
    size_t length;
    bool folder;
    bool recorded;
    bool repeated;  // an earlier entry has the same name: only that one is acted on
    ULONGLONG size;
    ULONGLONG writeTime;  // FILETIME, as the installer set it
};

enum Message {
    Caption, Confirm, Done, Kept, FileFailed, Incomplete, Nothing, StillRunning, Refused, MessageCount
};

// Why something of the install stayed.
enum class Stayed {
    Added,    // not listed: the user's or the program's own file
    Changed,  // listed, but changed since it was installed
    Link,     // a link to another place (never followed)
    InUse,    // held by a running program (a file, or a folder as its working folder)
    Failed,   // could not be removed; the error says why
};

struct StayedItem {
    WCHAR path[kPathSize];
    Stayed why;
    DWORD error;
};

struct Removal {
    const RemoverRequest* request;
    HANDLE reportPipe;           // until the early result is sent
    WCHAR programW[kPathSize];   // the program's canonical path
    char folder[kPathSize];      // the install folder, ANSI, canonical, no trailing backslash
    WCHAR folderW[kPathSize];
    WCHAR shortFolderW[kPathSize];  // its short (8.3) form, as a value may spell it
    char manifest[kPathSize];
    WCHAR manifestW[kPathSize];
    WCHAR manifestsW[kManifestLimit][kPathSize];  // the current manifest, then every earlier version's
    int manifestCount;
    char language[3];            // the user's language, for the texts
    char progName[kTextSize];    // the names as the installer formed them
    char progVersion[kTextSize];
    char progFile[kTextSize];
    char progDir[kTextSize];
    char type[kTextSize];
    char extension[kTextSize];
    char messages[MessageCount][kTextSize];
    Listed* listed;
    size_t listedCount;
    bool entryExists;            // Uninstall\<ProgDir> exists
    bool entryOurs;              // ... and its InstallLocation is this install folder
    char entryVersion[kTextSize];  // its DisplayVersion: the vendor key's subkey
    bool typeRemoved;
    StayedItem stayed[kStayedShown];
    int stayedCount;
    bool kept;                   // something stays by design: added, changed, a link
    bool failed;                 // something stays that should have gone
    int stepsDone;               // mutating steps taken so far
    bool interrupted;            // the test's stop was reached: nothing more is changed
};
extern Removal removal;

// --- Remover.cpp
// Called before each change the run makes: false once the run has been
// stopped at the step a test asked for, as if the process had ended there.
bool proceed();

// --- RemoverPaths.cpp
// Copies or joins ("<folder>\<name>") wide paths; false when they do not fit.
bool copyWide(WCHAR* out, int size, const WCHAR* text);
bool joinWide(WCHAR (&out)[kPathSize], const WCHAR* folder, const WCHAR* name);
WCHAR* lastSeparator(WCHAR* path);
// Lowers `path` to its canonical form: full, long where it exists, no
// trailing backslash. False when it does not fit.
bool canonicalPath(const WCHAR* path, WCHAR (&out)[kPathSize]);
// Paths compared as the file system compares them: ordinal, ignoring case.
bool samePath(const WCHAR* a, const WCHAR* b);
// True when `path` (canonical) lies inside the install folder.
bool isInsideInstall(const WCHAR* path);
// True when `value` (a path, a command, an icon location, ANSI) names
// something inside the install folder, in any spelling of its path.
bool namesThisInstall(const char* value);
bool toAnsi(const WCHAR* text, char* out, int size);
bool toWide(const char* text, WCHAR* out, int size);
// The full path of a listed name; false when it does not fit.
bool pathOf(const Listed& entry, WCHAR (&path)[kPathSize]);
bool isProgram(const WCHAR* path);
bool isManifest(const WCHAR* path);

// --- RemoverLists.cpp
// The manifests' bytes and their list, held for the run.
class ManifestStore {
public:
    ManifestStore() = default;
    ~ManifestStore();
    ManifestStore(const ManifestStore&) = delete;
    ManifestStore& operator=(const ManifestStore&) = delete;
    void* allocate(SIZE_T size);

private:
    void* blocks_[kManifestLimit + 2] = {};  // the manifests, the list, its table
    int count_ = 0;
};

// Finds the version records beside the current manifest and reads every
// manifest whole into `texts` (null where one cannot be read); false when
// the current one is unusable.
bool readManifests(ManifestStore& store, const char* texts[], DWORD sizes[]);
// Every manifest's names into one list (removal.listed); names that would
// lead out of the install folder are left out.
bool readLists(ManifestStore& store, const char* texts[], const DWORD sizes[]);

// --- RemoverOwnership.cpp
// Finds the manifest in the program's folder or one above it, reads every
// manifest of the install folder, the names as the installer formed them,
// and the uninstall entry. False when there is no usable manifest.
bool findInstall(ManifestStore& store);
// True when the calling program belongs to this install: a manifest lists
// it, and the uninstall entry, while there is one, names this folder.
bool programBelongs();
// True when the install folder is a link to another place.
bool installFolderIsLink();

// --- RemoverFiles.cpp
// The listed files but the program's own and the manifests, and the links
// listed in their place; a file in use is tried again by finishFiles.
bool filesStep(bool apply);
// True when something the run does not remove stays in the install folder
// (noted as stayed).
bool surveyWhatStays();
// After the program has ended: the files left, the folders, then the
// program and the manifests together with the uninstall entry (`removeEntry`)
// once nothing else of the install is left. One of the SETUP_UNINSTALL_ results.
int finishFiles(void (*removeEntry)());

// --- RemoverRegistry.cpp
bool fileTypeStep(bool apply);
bool appPathStep(bool apply);
bool vendorStep(bool apply);
// Reads Uninstall\<ProgDir> into entryExists, entryOurs and entryVersion.
void readEntry();
// The uninstall entry's values, and the key once empty.
void removeEntry();

// --- RemoverShortcuts.cpp
bool shortcutsStep(bool apply);

// --- RemoverReport.cpp
void readMessages();
int show(UINT type, const char* text);
void tell(Message message, UINT icon);
// Asks whether to try a file again; false: give up on it.
bool askRetry(const WCHAR* path, DWORD error);
// Notes that `path` stays, and why.
void noteStayed(const WCHAR* path, Stayed why, DWORD error);
// Sends the early result through the pipe (once).
void report(int result);
// The outcome's message, naming what stayed and why.
void tellOutcome(int result);
// The run refuses: says why (not in quiet mode) and gives FAILED.
int refuse(const char* why);
