#pragma once
// The copy of one staged file into the install folder or the documents
// folder: the destination file is created here, in its folder, and written
// from the source's bytes. It is never moved or linked there, so it takes
// the permissions its folder hands down, as a file the user saves there would.
#include <windows.h>

#include "common/MessagePump.h"

// The contents pass through a buffer of this size: 64 times fewer reads and
// writes than a 4 KiB one, and small enough to stay in the processor's cache
// between the read and the write.
constexpr DWORD kFileCopyBufferSize = 256 * 1024;

// Writes every byte that `source` yields from its position to its end into
// `destination`, through `buffer` (`bufferSize` bytes, not 0), calling
// pumpMessages between chunks so that the owner window answers during a long
// file. true = all written; false = a read or a write failed, or wrote fewer
// bytes than asked (what was written stays).
// (Defined here so that the one copy in copyInstalledFile is made inline.)
inline bool copyFileData(HANDLE source, HANDLE destination, unsigned char* buffer, DWORD bufferSize) {
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer, bufferSize, &got, nullptr)) return false;
        if (got == 0) return true;
        DWORD put = 0;
        if (!WriteFile(destination, buffer, got, &put, nullptr)) return false;
        if (put != got) return false;
        // A file read short has ended: the read that would say so is spared.
        if (got < bufferSize) return true;
        pumpMessages();
    }
}

// Copies the file `source`, whose enumeration record is `found`, to
// `destination`: the destination is created, or replaced when it exists
// (a read-only one fails, as the platform's own file copy does; the caller
// clears that bit first). A new file is created with the source's
// attributes (a replaced one keeps its own where the platform keeps them,
// as with the platform's copy); once its contents are written it gets the
// source's creation, last-access and last-write times in one call, whose
// failure does not fail the copy. true =
// copied. false = the source could not be opened, the destination not
// created (nothing changed), or the contents not written (the destination
// stays, partly written). The contents pass through one buffer of
// kFileCopyBufferSize bytes that every call shares: one file at a time.
bool copyInstalledFile(const char* source, const char* destination, const WIN32_FIND_DATAA& found);
