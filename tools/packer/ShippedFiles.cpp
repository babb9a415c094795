// See ShippedFiles.h.
#include "ShippedFiles.h"

std::vector<std::string> shippedFileCandidates(const std::string& programPath, const std::string& name,
                                               std::initializer_list<const char*> buildPlaces) {
    std::vector<std::string> candidates;
    size_t slash = programPath.rfind('/');
    if (slash != std::string::npos) {
        std::string dir = programPath.substr(0, slash);
        candidates.push_back(dir + "/" + name);
        for (const char* place : buildPlaces) candidates.push_back(dir + "/" + place + "/" + name);
        candidates.push_back(dir + "/../share/setup-pack/" + name);
    }
    candidates.push_back("/usr/share/setup-pack/" + name);
    return candidates;
}
