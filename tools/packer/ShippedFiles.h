#pragma once
// Where setup-pack finds the files it ships beside itself (the stub, the
// launcher, the translations): in order, beside the program, at the places
// a build tree keeps them relative to the host tools, under the program's
// own ../share/setup-pack, then under /usr/share/setup-pack.
#include <initializer_list>
#include <string>
#include <vector>

// `name` is the file or folder; `buildPlaces` the folders, relative to the
// program's folder, where a build tree keeps it (as "../uninstall").
std::vector<std::string> shippedFileCandidates(const std::string& programPath, const std::string& name,
                                               std::initializer_list<const char*> buildPlaces);
