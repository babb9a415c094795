#pragma once
// The process-wide record of one run. It lives from start to exit and is
// never freed; every subsystem reads it and a few write their own fields.
#include <windows.h>

// Buffer sizes shared by every subsystem.
constexpr unsigned kPathSize = MAX_PATH;  // a path, terminator included
constexpr unsigned kTextSize = 1024;      // a text slot or INI value

// The 22 texts of the setup configuration, in the order in which their INI
// keys are read and formatted. The key of a slot has the slot's name.
enum class Slot : int {
    ProgName, ProgVersion, ProgFile, ProgDir, ProgDesc, DirDesc, ExtDesc,
    InstallDesc, NewerInstalled, InstallBaseDir, InstallProgDir, InstallChange,
    InstallBrowse, InstallCompleted, InstallFailed, FileCopyFailed, NotDir,
    DirCreateFailed, InstallOk, InstallCancel, InstallYes, InstallNo,
};
constexpr int kSlotCount = 22;

// The document file type of section FileType, in reading order.
enum class FileTypeValue : int { Type, Extension, Open, Icon };
constexpr int kFileTypeValueCount = 4;

struct SetupStrings {
    char slot[kSlotCount][kTextSize];
};

// The staged trees that the install step copies, each a folder of the
// staging folder.
enum class StagedTree : int { Program, Documents };
constexpr int kStagedTreeCount = 2;

// The longest names below one staged tree's folder (relative, such as
// "Help\Guide.txt"), as the extraction found them among the archive's
// entries; empty when the tree has none of that kind. From these the install
// step knows that every path of the copy fits at its destination, without
// listing the staged tree again.
struct StagedTreeExtent {
    char longestFile[kPathSize];
    char longestFolder[kPathSize];
};

struct InstallState {
    SetupStrings strings;
    char baseDir[kPathSize];                       // chosen base directory, no trailing backslash
    char fileType[kFileTypeValueCount][kTextSize]; // Type, Extension, Open, Icon
    char programPath[kPathSize];                   // installed program executable
    int freshInstall;                              // 1 unless an InstallLocation was found
    char stagingDir[kPathSize];                    // ends with a backslash; empty until extraction
    HINSTANCE instance;
    char installDir[kPathSize];                    // base directory, backslash, ProgDir
    StagedTreeExtent stagedTrees[kStagedTreeCount]; // set by the extraction
    char empty[1];                                 // default text of every INI read
};

extern InstallState installState;

inline char* setupString(Slot slot) { return installState.strings.slot[static_cast<int>(slot)]; }
inline char* fileTypeValue(FileTypeValue value) { return installState.fileType[static_cast<int>(value)]; }
