#pragma once
// Answers the message boxes that the test's own main thread shows, from a
// worker thread, and records each one.
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ShownMessageBox {
    std::string caption;
    std::string text;
    UINT buttons = 0;  // IDRETRY present: MB_RETRYCANCEL, else MB_OK
};

// Watches the thread that constructs it. Each message box it shows is
// recorded and passed to `answer` on the worker thread (which may change the
// world before answering); the button id returned is pressed.
class MessageBoxAnswerer {
public:
    using Answer = std::function<int(const ShownMessageBox& box, size_t index)>;

    explicit MessageBoxAnswerer(Answer answer);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    std::vector<ShownMessageBox> boxes() const;

private:
    void watch();

    Answer answer_;
    DWORD threadId_;
    mutable std::mutex mutex_;
    std::vector<ShownMessageBox> boxes_;
    bool stop_ = false;
    std::thread worker_;
};
