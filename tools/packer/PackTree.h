#pragma once
// Packing a folder into a payload archive (setup-pack create).
#include <string>

enum class NameMode {
    Auto,  // 8-bit names when every name is ASCII, else UTF-16LE names
    Ansi,  // 8-bit names; a non-ASCII name is refused
    Wide,  // UTF-16LE names
};

// Packs FOLDER, which may hold only the directories Program and Documents,
// into ARCHIVE: one entry per directory and file, in a fixed byte order with
// every directory before its contents. True on success; otherwise false with
// a message in `error` and no archive written. With `setupIni` (the setup
// INI's path), the Program tree also receives the uninstall manifest (see
// UninstallManifest.h).
bool packFolder(const std::string& folder, const std::string& archive, NameMode mode, std::string& error,
                const std::string& setupIni = std::string());
