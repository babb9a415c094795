// The owner window's taskbar button during a long extraction and copy: what
// the shell's taskbar interface is told, recorded by a stand-in for it, with
// the message boxes of the work answered from a watcher thread.
#include "ui/TaskbarProgress.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "ArchiveWriter.h"
#include "TestSupport.h"
#include "WindowWatcher.h"
#include "archive/Extractor.h"
#include "archive/PayloadWork.h"
#include "deploy/FileOps.h"
#include "deploy/TreeCopy.h"
#include "ui/OwnerWindow.h"

namespace {

struct Call {
    bool isState;
    TBPFLAG state;  // state calls
    ULONGLONG done, total;  // value calls
    HWND window;
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
    if (call.isState) return out << "state " << call.state;
    return out << call.done << "/" << call.total;
}

// Stands in for the shell's taskbar interface: records the progress calls;
// made with one reference, as CoCreateInstance hands one out.
class RecordingTaskbar : public ITaskbarList3 {
public:
    std::vector<Call> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    LONG references() const { return references_; }
    int inits = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references_); }
    HRESULT STDMETHODCALLTYPE HrInit() override {
        ++inits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) override {
        record({false, TBPF_NOPROGRESS, done, total, window});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG state) override {
        record({true, state, 0, 0, window});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return E_NOTIMPL; }

private:
    void record(const Call& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }
    std::mutex mutex_;
    std::vector<Call> calls_;
    LONG references_ = 1;
};

// Program and Documents trees big enough for many pump intervals: one long
// file (many buffers) and many small ones (one buffer each).
ByteVector longPayload() {
    ArchiveWriter writer;
    std::string contents(16u << 20, 'x');
    for (size_t i = 0; i < contents.size(); i += 61) contents[i] = static_cast<char>('a' + i % 23);
    writer.addFile("Program\\long.bin", contents);
    std::string small(3000, 's');
    for (int i = 0; i < 400; ++i) writer.addFile("Program\\d" + std::to_string(i % 7) + "\\f" + std::to_string(i), small);
    for (int i = 0; i < 200; ++i) writer.addFile("Documents\\n" + std::to_string(i) + ".txt", small);
    writer.addFile("Documents\\empty.txt", "");
    return writer.build();
}

// The run's long work as the run sequence does it, on the owner window:
// extraction below `root`, then the copy of both staged trees into `root`.
class ProgressRun {
public:
    ProgressRun() : staging_(dir_ / "staging\\") {
        owner_.create();
        taskbarSeam = &taskbar_;
    }
    ~ProgressRun() { taskbarSeam = nullptr; }

    HWND owner() const { return owner_.window; }
    RecordingTaskbar& taskbar() { return taskbar_; }
    std::string destination(const std::string& tree) const { return dir_ / ("installed-" + tree); }

    // The shell's word that the button exists.
    void announceButton() { SendMessageA(owner_.window, RegisterWindowMessageA("TaskbarButtonCreated"), 0, 0); }

    // Extracts and copies `archive`, then shows the completion box; 1 when
    // both stages succeeded. `responder` answers every message box.
    int work(const ByteVector& archive, Responder responder) {
        BackgroundWatcher watcher(std::move(responder));
        total_ = payloadWorkBytes(archive.data(), static_cast<uint32_t>(archive.size()));
        beginTaskbarProgress(owner_.window, total_);
        ArchiveExtractor extractor;
        int result = extractor.extract(owner_.window, archive.data(), static_cast<uint32_t>(archive.size()),
                                       staging_.c_str());
        for (const char* tree : {"Program", "Documents"}) {
            result = result && copyTreeIfPresent(owner_.window, (staging_ + tree).c_str(),
                                                 destination(tree).c_str(), 1, 0);
        }
        endTaskbarProgress(result != 0);
        MessageBoxA(owner_.window, "done", "completion", MB_OK);
        seen_ = watcher.stop();
        return result;
    }
    ULONGLONG total() const { return total_; }
    const std::vector<SeenWindow>& seen() const { return seen_; }

private:
    TempDir dir_;
    std::string staging_;
    OwnerWindow owner_;
    RecordingTaskbar taskbar_;
    ULONGLONG total_ = 0;
    std::vector<SeenWindow> seen_;
};

// Checks the calls of one piece of work: the bar shown before any value,
// values on one scale that never go back and end at the whole, the bar
// taken off at the end. Returns how many times the bar was taken off.
::testing::AssertionResult isSoundProgress(const std::vector<Call>& calls, ULONGLONG total, HWND window) {
    if (calls.empty()) return ::testing::AssertionFailure() << "no calls";
    bool shown = false;
    ULONGLONG last = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& call = calls[i];
        if (call.window != window) return ::testing::AssertionFailure() << "call " << i << " for another window";
        if (call.isState) {
            if (call.state != TBPF_NORMAL && call.state != TBPF_NOPROGRESS) {
                return ::testing::AssertionFailure() << "call " << i << ": " << call;
            }
            shown = call.state == TBPF_NORMAL;
            continue;
        }
        if (!shown) return ::testing::AssertionFailure() << "call " << i << ": value " << call << " with no bar";
        if (call.total != total || call.done < last || call.done > total) {
            return ::testing::AssertionFailure() << "call " << i << ": " << call << " after " << last << "/" << total;
        }
        last = call.done;
    }
    if (last != total) return ::testing::AssertionFailure() << "ended at " << last << "/" << total;
    if (shown) return ::testing::AssertionFailure() << "the bar stays on the button";
    return ::testing::AssertionSuccess();
}

size_t valueCalls(const std::vector<Call>& calls) {
    size_t count = 0;
    for (const Call& call : calls) count += !call.isState;
    return count;
}

TEST(TaskbarProgress, MovesWithTheBytesOfBothStagesAndIsGoneBeforeTheCompletionBox) {
    ProgressRun run;
    ASSERT_NE(nullptr, run.owner());
    run.announceButton();
    std::vector<Call> atCompletion;
    int result = run.work(longPayload(), [&](const WindowInfo&) {
        atCompletion = run.taskbar().calls();
        return Response::press(IDOK);
    });
    ASSERT_EQ(1, result);
    ASSERT_EQ(1u, run.seen().size()) << describeRecord(run.seen());
    EXPECT_TRUE(isSoundProgress(atCompletion, run.total(), run.owner()));
    EXPECT_EQ(atCompletion.size(), run.taskbar().calls().size()) << "nothing told after the box showed";
    // Extraction and copy of 16 MiB and 600 files take many pump intervals;
    // a bar that jumped from 0 to the end would show two values.
    EXPECT_GE(valueCalls(atCompletion), 4u);
    // Half the work is the extraction: some value was told within it.
    bool duringExtraction = false;
    for (const Call& call : atCompletion) duringExtraction |= !call.isState && call.done < run.total() / 2;
    EXPECT_TRUE(duringExtraction);
    EXPECT_EQ(1, run.taskbar().inits);
    EXPECT_EQ(0, run.taskbar().references()) << "the interface is released once the work is over";
}

TEST(TaskbarProgress, GoesWhileARetryPromptShowsAndComesBackAfterRetry) {
    ProgressRun run;
    ASSERT_NE(nullptr, run.owner());
    run.announceButton();
    // A destination file held open without sharing: its copy fails and asks.
    ASSERT_TRUE(writeFile(run.destination("Documents") + "\\n7.txt", "held"));
    HANDLE held = CreateFileA((run.destination("Documents") + "\\n7.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::vector<Call> atPrompt;
    int result = run.work(longPayload(), [&](const WindowInfo& window) {
        if (window.caption == "completion") return Response::press(IDOK);
        atPrompt = run.taskbar().calls();
        CloseHandle(held);
        return Response::press(IDRETRY);
    });
    ASSERT_EQ(1, result) << describeRecord(run.seen());
    ASSERT_EQ(2u, run.seen().size()) << describeRecord(run.seen());
    ASSERT_FALSE(atPrompt.empty());
    EXPECT_TRUE(atPrompt.back().isState && atPrompt.back().state == TBPF_NOPROGRESS)
        << "the bar is off while the prompt shows; last call " << atPrompt.back();
    const std::vector<Call> calls = run.taskbar().calls();
    ASSERT_GT(calls.size(), atPrompt.size());
    EXPECT_TRUE(calls[atPrompt.size()].isState && calls[atPrompt.size()].state == TBPF_NORMAL)
        << "the bar comes back with the work";
    EXPECT_TRUE(isSoundProgress(calls, run.total(), run.owner()));
}

TEST(TaskbarProgress, NothingIsToldBeforeTheShellAnnouncesTheButton) {
    ProgressRun run;
    ASSERT_NE(nullptr, run.owner());
    // Another window's button, and WM_NULL (what a window-answering probe
    // sends), are not this window's button.
    HWND other = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    taskbarButtonCreated(other);
    SendMessageA(run.owner(), WM_NULL, 0, 0);
    ArchiveWriter writer;
    writer.addFile("Program\\a.txt", std::string(200000, 'a'));
    EXPECT_EQ(1, run.work(writer.build(), [](const WindowInfo&) { return Response::press(IDOK); }));
    EXPECT_TRUE(run.taskbar().calls().empty());
    EXPECT_EQ(0, run.taskbar().inits);
    DestroyWindow(other);
}

struct CountCase {
    const char* what;
    std::vector<uint64_t> counted;  // added before each look at the queue
    std::vector<ULONGLONG> shown;   // the values the button is told, in order
};

TEST(TaskbarProgress, ShowsWhatWasCountedAndNeverMoreThanTheWhole) {
    const CountCase cases[] = {
        // Files that were not counted in the whole (the payload is not the
        // only thing that could be copied) leave the bar at its end.
        {"more than the whole", {600, 900}, {600, 1000, 1000}},
        // Work that ends short of what was expected is not shown as done.
        {"less than the whole", {600}, {600, 600}},
    };
    OwnerWindow owner;
    owner.create();
    ASSERT_NE(nullptr, owner.window);
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingTaskbar taskbar;
        taskbarSeam = &taskbar;
        taskbarButtonCreated(owner.window);
        beginTaskbarProgress(owner.window, 1000);
        for (uint64_t bytes : c.counted) {
            addTaskbarProgress(bytes);
            showTaskbarProgress();
        }
        endTaskbarProgress(true);
        taskbarSeam = nullptr;
        std::vector<ULONGLONG> shown;
        for (const Call& call : taskbar.calls()) {
            if (!call.isState) shown.push_back(call.done);
        }
        EXPECT_EQ(c.shown, shown);
        const std::vector<Call> calls = taskbar.calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_TRUE(calls.back().isState && calls.back().state == TBPF_NOPROGRESS) << calls.back();
    }
}

struct WorkCase {
    const char* what;
    std::vector<std::pair<std::string, size_t>> files;
    uint64_t expected;
};

TEST(PayloadWorkBytes, CountsEveryFileForItsExtractionAndItsCopy) {
    const WorkCase cases[] = {
        {"no entries", {}, 0},
        {"one file in each tree", {{"Program\\a.exe", 1000}, {"Documents\\b.txt", 24}}, 2 * 1024},
        {"empty files", {{"Program\\a", 0}, {"Program\\b", 0}}, 0},
        // A folder claiming a size (nothing is written for it) counts nothing.
        {"folders count nothing", {{"Program\\sub\\", 5000}, {"Program\\sub\\c", 7}}, 14},
    };
    for (const WorkCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool wide : {false, true}) {
            ArchiveWriter writer(wide);
            for (const auto& file : c.files) {
                if (file.first.back() == '\\') {
                    writer.addDirectory(file.first.substr(0, file.first.size() - 1)).fields.sizeLow =
                        static_cast<uint32_t>(file.second);
                } else {
                    writer.addFile(file.first, std::string(file.second, 'z'));
                }
            }
            const ByteVector archive = writer.build();
            EXPECT_EQ(c.expected, payloadWorkBytes(archive.data(), static_cast<uint32_t>(archive.size())));
        }
    }
    const uint8_t cut[4] = {'Z', 'O', 'T', 1};
    EXPECT_EQ(0u, payloadWorkBytes(cut, sizeof cut)) << "shorter than a header";
}

}  // namespace
