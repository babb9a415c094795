#pragma once
// Reading the name list of the uninstall manifest (setup-uninstall.ini, made
// by setup-pack; its layout is described in tools/packer/UninstallManifest.h).
// Portable: the list is plain bytes, so it is tested natively too.
#include <stddef.h>

// Walks the names of the manifest's [Files] section, the last section.
// Names are UTF-8, relative to the install folder, backslash-separated;
// a folder ends with a backslash.
class ManifestFiles {
public:
    // `text` is the whole manifest, `size` its length in bytes.
    ManifestFiles(const char* text, size_t size);

    // True when the manifest has a [Files] section.
    bool found() const { return start_ <= size_; }
    // The next name (not terminated) and its length; false at the end of the
    // section. Blank lines are skipped.
    bool next(const char*& name, size_t& length);
    // Back to the first name.
    void rewind() { offset_ = start_; }

private:
    const char* text_;
    size_t size_;
    size_t start_;   // first byte after the [Files] line; size_ + 1 when none
    size_t offset_;
};

// True when `name` (UTF-8, `length` bytes, one trailing backslash allowed for
// a folder) names a place inside the install folder: no leading separator,
// no empty component, no component made only of dots and blanks, no drive or
// stream colon, no forward slash, no control character, no device name (CON,
// NUL, COM1, ...). Checked byte by byte, which is exact for UTF-8, where no
// byte of a multi-byte character equals an ASCII one.
bool isSafeManifestName(const char* name, size_t length);
