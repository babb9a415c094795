#pragma once
// Ready-made responders for WindowWatcher and runProgram.
#include <string>
#include <vector>

#include "WindowWatcher.h"

// Records every window as unexpected and cancels it.
Responder failOnUnexpected();

// Presses the button a user's Enter would press (BS_DEFPUSHBUTTON, else OK,
// else Yes); a window without one is cancelled and marked unexpected.
Responder pressDefault();

// Presses the buttons named in `texts` (without '&'), one per window, in
// order; once they are used up, `after` answers. A window that lacks the next
// scripted button is marked unexpected and cancelled; the script stays where
// it is.
Responder pressInOrder(std::vector<std::string> texts, Responder after = failOnUnexpected());

// A window matches when its caption equals `caption` (unless empty) and its
// message text or one of its controls' texts contains `text` (unless empty).
struct WindowRule {
    std::string caption;
    std::string text;
    std::string press;  // button text without '&'
};

// Presses the button of the first rule that matches; other windows go to
// `otherwise`.
Responder pressWhenMatching(std::vector<WindowRule> rules, Responder otherwise = failOnUnexpected());

// True when `rule` matches `window` (see WindowRule).
bool matches(const WindowRule& rule, const WindowInfo& window);
