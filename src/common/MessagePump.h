#pragma once
// Dispatches every message waiting in the calling thread's queue, then
// returns. The long operations (extraction, tree copy) call it between units
// of work so that the owner window keeps painting. WM_QUIT is not special.
void pumpMessages();
