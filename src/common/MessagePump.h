#pragma once
// Dispatches every message waiting in the calling thread's queue, then
// returns; but only when at least kPumpIntervalMs have passed since the last
// time it did so (the first call always does). The long operations
// (extraction, tree copy) call it between units of work, however small, so
// that the owner window keeps painting and answering; the interval keeps
// the cost of looking at the queue, a round trip to the window system for
// every look, off the work itself. WM_QUIT is not special.
void pumpMessages();

// The longest a message waits while a long operation works, apart from the
// unit of work that is running when it arrives and the tick counter's
// resolution.
constexpr unsigned long kPumpIntervalMs = 16;
