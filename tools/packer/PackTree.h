#pragma once
// Packing a folder into a payload archive (setup-pack create).
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

enum class NameMode {
    Auto,  // 8-bit names when every name is ASCII, else UTF-16LE names
    Ansi,  // 8-bit names; a non-ASCII name is refused
    Wide,  // UTF-16LE names
};

// setup-pack build --launcher (see LauncherBuild.h): Program\<programName>
// is stored as Program\<storedName>, and `image` takes its place with its
// times and attributes. No image: nothing is swapped.
struct LauncherSwap {
    std::string programName, storedName;  // UTF-8, as found in Program/
    std::shared_ptr<const std::vector<uint8_t>> image;
};

struct PackOptions {
    NameMode names = NameMode::Auto;
    unsigned jobs = 0;  // compressing threads; 0 = one per core
    // SOURCE_DATE_EPOCH: stored times later than it are stored as it.
    bool clampTimes = false;
    int64_t epoch = 0;
    // The setup INI: with it, the Program tree also receives the uninstall
    // manifest (see UninstallManifest.h).
    std::string setupIni;
    // Its text in the installer's form, when the caller has made it (the
    // file is then read only for its time).
    const std::string* setupIniText = nullptr;
    LauncherSwap launcher;
};

// Takes SOURCE_DATE_EPOCH from the environment into `options`; false, with a
// reason, when it is set but not a whole number of seconds, or later than
// the end of the year 9999.
bool readSourceDateEpoch(PackOptions& options, std::string& error);

// Packs FOLDER, which may hold only the directories Program and Documents:
// one entry per directory and file, in a fixed byte order with every
// directory before its contents. Every stored time (creation, last access,
// last write) is the entry's last-write time, clamped to the epoch when
// given, so that reading or copying the tree with its times (cp -a) does not
// change the archive. Files are compressed on `jobs` threads; the archive is
// the same for any number. False, with a message in `error`, on failure.
bool packPayload(const std::string& folder, const PackOptions& options, std::vector<uint8_t>& archive,
                 std::string& error);

// packPayload, written to the file ARCHIVE (nothing is written on failure).
bool packFolder(const std::string& folder, const std::string& archive, const PackOptions& options,
                std::string& error);
