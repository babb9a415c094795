#pragma once
// Extraction of the payload archive into the staging directory.
#include <windows.h>

#include <stdint.h>

#include "common/InstallState.h"
#include "common/SafeNames.h"

class StagingFolder;

// Unpacks resource 129 into the staging directory: the user's temp folder,
// ProgName and a backslash. The path is stored in installState.stagingDir
// once it is known to be sound (ProgName a plain folder name, the whole
// path within 260 bytes), before anything is removed or written; then
// `staging` makes the folder afresh and holds it (StagingFolder.h), and the
// run removes it through `staging`. 1 = every entry of the walk was
// extracted and the folder is still the one made; 0 = failure (messages, if
// any, already shown).
int extractPayload(HWND owner, StagingFolder& staging);

class ArchiveExtractor {
public:
    // Accepts the archive and every entry's name and path (nothing is
    // written unless all pass), then writes every entry below
    // `destination`, which ends with a backslash, with its times and
    // attributes. An entry that would land outside `destination` stops the
    // extraction with "Unable to create file." captioned with its name; one
    // whose path would not fit the path rule (common/Paths.h), with the same
    // text and the path's length and limit, captioned with the path. An
    // entry out of the archive's bounds, or contents that do not begin with
    // an entry, stop it silently. 1 = success, 0 = failure.
    int extract(HWND owner, const uint8_t* archive, uint32_t size, const char* destination);
};

class EntryInflater {
public:
    // Decodes one zlib stream into an open file through `buffer`, stopping
    // once more than `expectedSize` bytes came out. 1 = the stream ended and
    // exactly `expectedSize` bytes were written.
    int inflateToFile(HANDLE file, const uint8_t* packed, uint32_t packedSize,
                      uint8_t* buffer, uint32_t bufferSize, uint32_t expectedSize);
};

// Creates every directory named by a prefix of `path` that ends just before a
// backslash, shortest first; the last component is not created. The path is
// written to while it runs and holds the same text afterwards.
void createParentDirectories(char* path);

// The same for the successive entries of one extraction, each directory once:
// the prefixes a path shares with the previous path's parent folder are not
// created again (they were created, or found to exist, for that path).
class ParentDirectories {
public:
    void createFor(char* path);

private:
    char lastParent_[kPathSize] = {};  // with its final backslash; empty at first
};
