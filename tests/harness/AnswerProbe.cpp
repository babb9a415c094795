#include "AnswerProbe.h"

#include <utility>

namespace {

constexpr DWORD kPauseMs = 2;           // between an answer and the next question
constexpr DWORD kQuestionTimeoutMs = 60000;

}  // namespace

AnswerProbe::AnswerProbe(std::function<HWND()> findWindow)
    : findWindow_(std::move(findWindow)), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    // Started only here, once every member the thread uses (the counters
    // included) has been initialised.
    thread_ = CreateThread(nullptr, 0, &AnswerProbe::run, this, 0, nullptr);
}

AnswerProbe::~AnswerProbe() { stop(); }

void AnswerProbe::stop() {
    if (thread_) {
        SetEvent(stop_);
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // answers sent messages
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    // Also when the thread could not be started.
    if (stop_) CloseHandle(stop_);
    stop_ = nullptr;
}

DWORD WINAPI AnswerProbe::run(void* self) {
    auto* probe = static_cast<AnswerProbe*>(self);
    while (WaitForSingleObject(probe->stop_, kPauseMs) == WAIT_TIMEOUT) {
        HWND window = probe->findWindow_();
        if (!window) continue;
        DWORD asked = GetTickCount();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kQuestionTimeoutMs, &result)) continue;
        DWORD waited = GetTickCount() - asked;
        ++probe->answered_;
        if (waited > probe->longestWaitMs_) probe->longestWaitMs_ = waited;
    }
    return 0;
}
