#pragma once
// The copy of one staged file into the install folder or the documents
// folder: the destination file is created here, in its folder, and written
// from the source's bytes. It is never moved or linked there, so it takes
// the permissions its folder hands down, as a file the user saves there would.
#include <windows.h>

// The contents pass through a buffer of this size: 64 times fewer reads and
// writes than a 4 KiB one, and small enough to stay in the processor's cache
// between the read and the write.
constexpr DWORD kFileCopyBufferSize = 256 * 1024;

// Writes every byte that `source` yields from its position to its end into
// `destination`, through `buffer` (`bufferSize` bytes, not 0), calling
// pumpMessages between chunks so that the owner window answers during a long
// file. true = all written; false = a read or a write failed, or wrote fewer
// bytes than asked (the last error says why; what was written stays).
bool copyFileData(HANDLE source, HANDLE destination, unsigned char* buffer, DWORD bufferSize);

// Copies the file `source`, whose enumeration record is `found`, to
// `destination`: the destination is created, or replaced when it exists
// (a read-only one fails, as the platform's own file copy does; the caller
// clears that bit first). The new file gets the source's attributes and,
// once its contents are written, the source's creation, last-access and
// last-write times, each set once (neither decides the result). true =
// copied. false = the source could not be opened, the destination not
// created (nothing changed), or the contents not written (the destination
// stays, partly written); the last error says why. `buffer`: see
// copyFileData.
bool copyInstalledFile(const char* source, const char* destination, const WIN32_FIND_DATAA& found,
                       unsigned char* buffer, DWORD bufferSize);
