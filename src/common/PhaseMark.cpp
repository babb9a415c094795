#include "common/PhaseMark.h"

#ifdef SETUP_PHASE_TIMES
#include <windows.h>

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Scoped.h"

namespace {

bool started;

void appendLine(HANDLE file, const char* name, const FILETIME& time) {
    char line[96];
    if (!formatText(line, sizeof line, "%s %u %u\n", name, static_cast<unsigned>(time.dwHighDateTime),
                    static_cast<unsigned>(time.dwLowDateTime))) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
}

}  // namespace

void markPhase(const char* name) {
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
#endif
