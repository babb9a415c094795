#pragma once
// Helpers for tests that run under Wine against the real file system.
#include <windows.h>

#include <string>

// A new empty folder under the user's temp folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "\\" + relative
    std::string operator/(const std::string& relative) const;

private:
    std::string path_;
};

// Writes `contents` to a file, creating its parent folders; false on failure.
bool writeFile(const std::string& path, const std::string& contents);
// The whole contents of a file; empty if it cannot be read.
std::string readFile(const std::string& path);
