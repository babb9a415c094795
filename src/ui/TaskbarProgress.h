#pragma once
// Progress of the run's long work (extraction, then the copy) on the owner
// window's taskbar button: one bar from 0 to the bytes of both stages,
// shown while the work goes on and taken away whenever a message box shows.
// The button is told only at the message pump's pace (pumpMessages calls
// showTaskbarProgress), and only after the shell has said that the button
// exists. Where the shell has no such bar, nothing changes.
#include <windows.h>

#include <shobjidl.h>
#include <stdint.h>

// Used instead of the shell's taskbar interface when set (tests): taken as
// if just made, so released once at the end of each piece of work.
extern ITaskbarList3* taskbarSeam;

// The shell made `window`'s button (the owner window's "TaskbarButtonCreated").
void taskbarButtonCreated(HWND window);

// The work of `total` bytes begins on `window`'s button, none of it done.
void beginTaskbarProgress(HWND window, uint64_t total);

// `bytes` more of the work are done. Only counts: the button is told when
// the queue is next pumped.
void addTaskbarProgress(uint64_t bytes);

// Shows the bytes done so far (and the normal state) on the button; nothing
// while no work runs or the button is not known to exist.
void showTaskbarProgress();

// Takes the bar off the button until the work shows it again.
void pauseTaskbarProgress();

// The work is over: when `completed`, shows the bytes done at once (the
// whole, when every byte was counted), then takes the bar off the button and
// lets the shell's interface go.
void endTaskbarProgress(bool completed);
