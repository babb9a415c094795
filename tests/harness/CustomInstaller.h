#pragma once
// Makes installers with other contents from a built setup.exe: a copy whose
// payload (RCDATA 129) or setup INI (RCDATA 130) is replaced or removed.
// Also reads data resources back, for checks and reports.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

constexpr WORD kPayloadResource = 129;
constexpr WORD kSetupIniResource = 130;
constexpr WORD kNeutralLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

// One change to an RCDATA resource in one language.
struct ResourceChange {
    WORD id = 0;
    bool remove = false;
    std::string bytes;  // the new contents, unless `remove`
    WORD language = kNeutralLanguage;

    static ResourceChange replace(WORD id, const std::string& bytes, WORD language = kNeutralLanguage) {
        return {id, false, bytes, language};
    }
    static ResourceChange drop(WORD id, WORD language = kNeutralLanguage) { return {id, true, "", language}; }
};

// Writes `destination` (replacing it) with every resource of `source`
// except the changed ones, then the changes; the rest of the file is
// `source` unchanged. True on success; otherwise `error` (if given) says
// what failed.
bool makeInstaller(const std::string& source, const std::string& destination,
                   const std::vector<ResourceChange>& changes, std::string* error = nullptr);

// The contents of RCDATA `id` in the given language of an executable file;
// nullopt when it has none.
std::optional<std::string> readDataResource(const std::string& file, WORD id, WORD language = kNeutralLanguage);
// The languages in which the file holds the resource of this type and id.
std::vector<WORD> resourceLanguages(const std::string& file, LPCSTR type, WORD id);
// The same for RCDATA `id`.
std::vector<WORD> dataResourceLanguages(const std::string& file, WORD id);
