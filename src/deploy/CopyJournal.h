#pragma once
// What one tree copy created, so that a failed install removes only that.
#include <windows.h>

// The directories and files that a copy created, each of which did not exist
// before it. A created directory stands for everything below it, so nothing
// inside one is recorded. The paths are kept on the process heap, one after
// the other; a path that cannot be recorded (no memory) is left in place by
// the rollback: nothing is ever removed on a guess.
class CopyJournal {
public:
    CopyJournal() : entries_(nullptr), used_(0), capacity_(0) {}
    ~CopyJournal();
    CopyJournal(const CopyJournal&) = delete;
    CopyJournal& operator=(const CopyJournal&) = delete;

    // Records a path that the copy has just created. false = not recorded.
    bool add(const char* path);

    // Removes every recorded path (a directory with its whole tree, a file
    // alone), then forgets them. What existed before the copy is untouched.
    void rollBack();

private:
    bool reserve(SIZE_T needed);

    char* entries_;  // terminated paths, one after the other
    SIZE_T used_;
    SIZE_T capacity_;
};
