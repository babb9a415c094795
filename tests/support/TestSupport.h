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

// Makes `link` (which must not exist) a link to `target`, a folder or a
// file. Under Wine: a Unix symbolic link with absolute target, made by
// /bin/ln outside Wine's own file functions, which Wine then follows (and,
// for a folder, reports as a reparse point), as a junction or symbolic link
// on Windows. On Windows: a junction to a folder, a symbolic link to a file.
// false, with the reason in `why`, where neither can be made.
bool makeLink(const std::string& link, const std::string& target, std::string* why);

// Everything below `folder`, sorted, one line per entry: the relative path,
// the attribute word and, for a file, its contents. Equal snapshots mean the
// tree is unchanged byte for byte.
std::string treeSnapshot(const std::string& folder);
