#pragma once
// The uninstall manifest: a file that the packer adds to the Program tree of
// every payload, so that the uninstaller knows exactly what the install
// folder received and can name the program as the installer did.
//
// It is an INI text in the setup INI's own encoding (the ANSI code page,
// CR LF lines), read on Windows with the platform's profile reader, plus one
// section of file names that the uninstaller reads itself:
//
//   ; header comment
//   [Settings]            ProgName, ProgVersion, ProgFile, ProgDir lines
//   [FileType]            Type and Extension lines
//   [EN], [FR], ...       ProgName, ProgVersion, ProgFile, ProgDir and every
//                         key whose name starts with "Uninstall"
//   [Files]               one name per line, relative to the install folder,
//                         UTF-8, backslash-separated; folders end with a
//                         backslash; every folder before its contents; the
//                         manifest itself is listed too; no name starts
//                         with '[' (the list ends at such a line)
//   [Records]             "<size> <last-write time> <name>" per file, the
//                         time a FILETIME in decimal as the installer sets
//                         it: what tells the install's file from one the user
//                         changed. Always last, so that an uninstaller that
//                         knows names only reads the list as before.
//
// The Program tree receives the manifest twice: as setup-uninstall.ini,
// which each install replaces, and as setup-uninstall.<id>.ini, with <id>
// 16 hexadecimal digits made from the manifest's contents, which an upgrade
// to another version adds beside the earlier one. The uninstaller reads
// them all, so the files of every version installed there go.
//
// The key lines are copied byte for byte from the setup INI, in its order
// (duplicates included), so the profile reader gives the uninstaller the same
// values, quotes and all, that it gave the installer.
#include <stdint.h>

#include <string>
#include <vector>

// The manifest's name inside the Program tree (and the install folder).
extern const char kUninstallManifestName[];

// Builds the manifest from the setup INI's text and the Program tree's
// entries (names relative to Program, backslash-separated, UTF-8, folders
// with a trailing backslash, in archive order; the manifest's own name is
// added at its sorted place). False with a reason when the tree already holds
// a file of the manifest's name or a name directly in it starts with '['
// (the list's end), or the INI lacks ProgName, ProgFile or ProgDir.
bool buildUninstallManifest(const std::string& setupIni, const std::vector<std::string>& programEntries,
                            std::string& manifest, std::string& error);

// An entry of the Program tree with what identifies it once installed.
struct ManifestEntry {
    std::string name;            // as above; a folder ends with a backslash
    uint64_t size = 0;           // a file's size in bytes
    uint64_t lastWriteTime = 0;  // the FILETIME the archive stores for it
};

// The manifest with the [Records] section, and the name of its copy kept
// per version (setup-uninstall.<id>.ini); both names are listed.
bool buildUninstallManifest(const std::string& setupIni, const std::vector<ManifestEntry>& programEntries,
                            std::string& manifest, std::string& versionName, std::string& error);
