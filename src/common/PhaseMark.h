#pragma once
// Phase marks of a run, for the benchmark build only. Built with
// SETUP_PHASE_TIMES defined, each mark appends a line "NAME HIGH LOW" (the
// two halves of the system clock, in 100 ns units) to the file named by the
// environment variable SETUP_PHASE_LOG; the first mark also writes the process's own
// creation time as "process". Without the definition (the product) a mark is
// nothing at all: no file, no call, no byte.
#ifdef SETUP_PHASE_TIMES
#include <windows.h>

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Scoped.h"

namespace phase_mark {

inline bool started;

inline void appendLine(HANDLE file, const char* name, const FILETIME& time) {
    char line[96];
    if (!formatText(line, sizeof line, "%s %u %u\n", name, static_cast<unsigned>(time.dwHighDateTime),
                    static_cast<unsigned>(time.dwLowDateTime))) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
}

}  // namespace phase_mark

inline void markPhase(const char* name) {
    using namespace phase_mark;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    char path[kPathSize];
    DWORD length = GetEnvironmentVariableA("SETUP_PHASE_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    ScopedHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isValid()) return;
    if (!started) {
        started = true;
        FILETIME creation, exited, kernel, user;
        if (GetProcessTimes(GetCurrentProcess(), &creation, &exited, &kernel, &user)) {
            appendLine(file.get(), "process", creation);
        }
    }
    appendLine(file.get(), name, now);
}
#else
inline void markPhase(const char*) {}
#endif
