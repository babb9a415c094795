#pragma once
// Reading the name list of the uninstall manifest (setup-uninstall.ini, made
// by setup-pack; its layout is described in tools/packer/UninstallManifest.h).
// Portable: the list is plain bytes, so it is tested natively too.
#include <stddef.h>
#include <stdint.h>

// Walks the lines of one section of the manifest: by default [Files], whose
// names are UTF-8, relative to the install folder, backslash-separated; a
// folder ends with a backslash. [Records] follows it (see parseRecord).
class ManifestFiles {
public:
    // `text` is the whole manifest, `size` its length in bytes; `section`
    // the section's name in lower case.
    ManifestFiles(const char* text, size_t size, const char* section = "files");

    // True when the manifest has the section.
    bool found() const { return start_ <= size_; }
    // The next name (not terminated) and its length; false at the end of the
    // section. Blank lines are skipped.
    bool next(const char*& name, size_t& length);
    // Back to the first name.
    void rewind() { offset_ = start_; }

private:
    const char* text_;
    size_t size_;
    size_t start_;   // first byte after the section's line; size_ + 1 when none
    size_t offset_;
};

// What identifies an installed file as the install's: a line of [Records],
// "<size> <last-write time> <name>", both numbers decimal, the time a
// FILETIME (100 ns units since 1601) as the installer sets it.
struct ManifestRecord {
    uint64_t size;
    uint64_t writeTime;
    const char* name;  // points into the line, not terminated
    size_t length;
};

// Reads one [Records] line; false when it is not one (then it is ignored:
// its file is treated as a names-only entry would be).
bool parseRecord(const char* line, size_t length, ManifestRecord& record);

// True when `name` is the record of one version's list that the install
// folder keeps beside the current manifest, so that an upgrade adds to what
// "-u" removes instead of replacing it: "setup-uninstall." followed by 16
// hexadecimal digits and ".ini", without regard to case.
bool isVersionManifestName(const char* name, size_t length);

// True when `name` (UTF-8, `length` bytes, one trailing backslash allowed for
// a folder) names a place inside the install folder: no leading separator,
// no empty component, no component made only of dots and blanks, no drive or
// stream colon, no forward slash, no control character, no device name (CON,
// NUL, COM1, ...). Checked byte by byte, which is exact for UTF-8, where no
// byte of a multi-byte character equals an ASCII one.
bool isSafeManifestName(const char* name, size_t length);
