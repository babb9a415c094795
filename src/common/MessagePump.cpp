#include "common/MessagePump.h"

#include <windows.h>

#include "ui/TaskbarProgress.h"

namespace {

// When the queue was last drained (GetTickCount, wrapping), and whether it
// ever was.
DWORD lastDrainTick;
bool drainedBefore;

}  // namespace

void pumpMessages() {
    // Reading the tick count costs no round trip; looking at the queue does.
    if (drainedBefore && GetTickCount() - lastDrainTick < kPumpIntervalMs) return;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // At the same pace, the progress goes to the taskbar button.
    showTaskbarProgress();
    lastDrainTick = GetTickCount();
    drainedBefore = true;
}
