#pragma once
// The shipped translations of the installer's and the uninstaller's standard
// texts: one UTF-8 file per language section (DE.ini holds [DE]), installed
// in share/setup-pack/translations and copied beside setup-pack in a build.
#include <string>
#include <vector>

#include "SourceIni.h"

// The folders where the translations are looked for, in order: beside the
// setup-pack program, in the build tree around it, then the installed copy.
std::vector<std::string> translationFolderCandidates(const std::string& programPath);

// Reads the translations `choice` names from `folder`: "all", "none" or a
// comma-separated list of sections (DE,FR,JP). False, with a reason, when a
// named one is missing or a file cannot be read or is not UTF-8.
bool loadTranslations(const std::string& folder, const std::string& choice, std::vector<Translation>& out,
                      std::string& error);

// Parses one translation file's text; false when it is not UTF-8 or holds
// no section.
bool parseTranslation(const std::string& text, Translation& out);
