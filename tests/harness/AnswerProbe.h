#pragma once
// Measures whether a window keeps answering while its thread works: a thread
// of the probe sends the window WM_NULL over and over (a sent message is
// answered only when the window's thread looks at its queue) and keeps how
// many answers came and the longest wait for one.
#include <windows.h>

#include <atomic>
#include <functional>

class AnswerProbe {
public:
    // `findWindow` is called before each question: the window may not exist
    // yet (null: no question this time), or belong to another process.
    explicit AnswerProbe(std::function<HWND()> findWindow);
    ~AnswerProbe();
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;

    // Asks no more and waits for the probe's thread; a window of the calling
    // thread answers the last question meanwhile. Safe to call twice.
    void stop();
    unsigned answered() const { return answered_; }
    DWORD longestWaitMs() const { return longestWaitMs_; }

private:
    static DWORD WINAPI run(void* self);

    std::function<HWND()> findWindow_;
    HANDLE stop_;
    HANDLE thread_ = nullptr;
    std::atomic<unsigned> answered_{0};
    std::atomic<DWORD> longestWaitMs_{0};
};
