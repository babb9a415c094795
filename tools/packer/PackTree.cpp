// setup-pack create: walks the payload folder, checks every name against what
// the installer can extract, and writes the archive.
#include "PackTree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "ArchiveWriter.h"
#include "UninstallManifest.h"

namespace {

// The installer builds every entry's path in 260-byte buffers (terminator
// included), after the staging folder; a name must at least fit on its own.
constexpr size_t kPathLimit = 260;
constexpr size_t kNameFieldLimit = 0xFFFF;
constexpr uint64_t kFileSizeLimit = uint64_t(1) << 32;
// The last second of the year 9999 (9999-12-31T23:59:59Z), in Unix time.
constexpr long long kLatestEpoch = 253402300799;

struct SourceEntry {
    std::string name;  // relative, backslash-separated, as found on disk
    std::string path;  // where it is read from
    bool directory = false;
    uint32_t attributes = 0;
    FileTime64 creationTime = 0;
    FileTime64 lastAccessTime = 0;
    FileTime64 lastWriteTime = 0;
    uint64_t size = 0;  // a file's, when it was scanned
    bool generated = false;  // contents made by the packer, not read from disk
    std::string contents;
};

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

FileTime64 fromStatx(const struct statx_timestamp& t) {
    return fileTimeFromUnix(t.tv_sec, t.tv_nsec);
}

// Opens without touching the last-access time, so that packing the same tree
// twice gives the same archive. O_NOATIME is refused for files of other
// owners (unless privileged); they are opened the ordinary way.
int openQuietly(const std::string& path, int flags) {
    int fd = open(path.c_str(), flags | O_NOATIME | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EPERM) fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    return fd;
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Names that the platform reserves for devices, with or without extension.
bool isDeviceName(const std::string& component) {
    std::string base = lowerAscii(component.substr(0, component.find('.')));
    static const char* const devices[] = {"con", "prn", "aux", "nul"};
    for (const char* device : devices) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// Why a file or directory name cannot be created by the installer, or "".
std::string componentProblem(const std::string& component) {
    for (char c : component) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20) return "holds a control character";
        if (std::strchr("\\:*?\"<>|", c)) return std::string("holds the character '") + c + "', not allowed in Windows file names";
    }
    char last = component.back();
    if (last == '.' || last == ' ') return "ends with a dot or a space, which Windows drops";
    if (isDeviceName(component)) return "is a Windows device name";
    return "";
}

class TreeScanner {
public:
    TreeScanner(std::vector<SourceEntry>& entries, const PackOptions& options)
        : entries_(entries), clampTimes_(options.clampTimes),
          epoch_(fileTimeFromUnix(options.epoch < 0 ? 0 : options.epoch, 0)) {}

    bool scanTop(const std::string& folder, std::string& error) {
        std::vector<std::string> names;
        if (!listDirectory(folder, names, error)) return false;
        for (const std::string& name : names) {
            struct stat st;
            bool isFolder = lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if ((name != "Program" && name != "Documents") || !isFolder) {
                error = folder + "/" + name + ": only the folders Program and Documents may be packed";
                return false;
            }
            if (!scanEntry(folder + "/" + name, name, name, error)) return false;
        }
        return true;
    }

private:
    // Names in the directory, sorted by their bytes: the archive's order.
    bool listDirectory(const std::string& path, std::vector<std::string>& names, std::string& error) {
        int fd = openQuietly(path, O_RDONLY | O_DIRECTORY);
        DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
        if (!dir) {
            error = systemError("cannot read folder", path);
            if (fd >= 0) close(fd);
            return false;
        }
        errno = 0;
        while (struct dirent* d = readdir(dir)) {
            if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) names.push_back(d->d_name);
        }
        bool ok = errno == 0;
        if (!ok) error = systemError("cannot read folder", path);
        closedir(dir);
        std::sort(names.begin(), names.end());
        return ok && checkSiblings(path, names, error);
    }

    // Windows compares names without regard to case.
    static bool checkSiblings(const std::string& path, const std::vector<std::string>& names, std::string& error) {
        std::set<std::string> seen;
        for (const std::string& name : names) {
            if (!seen.insert(lowerAscii(name)).second) {
                error = path + "/" + name + ": another name in this folder differs only in case";
                return false;
            }
        }
        return true;
    }

    // `component` is the entry's own name as found on disk; `name` the whole
    // relative name built from the components.
    bool scanEntry(const std::string& path, const std::string& name, const std::string& component,
                   std::string& error) {
        std::string problem = componentProblem(component);
        if (!problem.empty()) {
            error = path + ": the name " + problem;
            return false;
        }
        struct statx st;
        if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
            error = systemError("cannot read", path);
            return false;
        }
        SourceEntry entry;
        entry.name = name;
        entry.path = path;
        entry.directory = S_ISDIR(st.stx_mode);
        if (S_ISLNK(st.stx_mode)) {
            error = path + ": symbolic links cannot be packed";
            return false;
        }
        if (!entry.directory && !S_ISREG(st.stx_mode)) {
            error = path + ": not a regular file or folder";
            return false;
        }
        if (!entry.directory && st.stx_size >= kFileSizeLimit) {
            error = path + ": files of 4 GiB or more cannot be packed";
            return false;
        }
        entry.attributes = entry.directory ? kAttributeDirectory
                                           : kAttributeArchive | ((st.stx_mode & S_IWUSR) ? 0 : kAttributeReadOnly);
        // The last-write time stands for all three: the access time changes
        // whenever the tree is read and the birth time whenever it is
        // copied, and neither says anything about the contents.
        entry.size = st.stx_size;
        entry.lastWriteTime = fromStatx(st.stx_mtime);
        if (clampTimes_ && entry.lastWriteTime > epoch_) entry.lastWriteTime = epoch_;
        entry.creationTime = entry.lastAccessTime = entry.lastWriteTime;
        entries_.push_back(entry);
        if (!entry.directory) return true;

        std::vector<std::string> names;
        if (!listDirectory(path, names, error)) return false;
        for (const std::string& child : names) {
            if (!scanEntry(path + "/" + child, name + "\\" + child, child, error)) return false;
        }
        return true;
    }

    std::vector<SourceEntry>& entries_;
    bool clampTimes_;
    FileTime64 epoch_;
};

bool chooseWideNames(const std::vector<SourceEntry>& entries, NameMode mode, bool& wide, std::string& error) {
    ByteVector probe;
    std::string reason;
    for (const SourceEntry& entry : entries) {
        if (!encodeEntryName(entry.name, true, probe, &reason)) {
            error = entry.path + ": the name is " + reason + "; names must be UTF-8";
            return false;
        }
    }
    auto nonAscii = std::find_if(entries.begin(), entries.end(), [](const SourceEntry& e) { return !isAscii(e.name); });
    if (mode == NameMode::Ansi && nonAscii != entries.end()) {
        error = nonAscii->path + ": the name is not ASCII, so it cannot be stored as an 8-bit name (use --names=auto or --names=wide)";
        return false;
    }
    wide = mode == NameMode::Wide || (mode == NameMode::Auto && nonAscii != entries.end());
    return true;
}

bool checkNameLength(const SourceEntry& entry, const ByteVector& field, bool wide, std::string& error) {
    size_t units = wide ? field.size() / 2 : field.size();
    if (field.size() > kNameFieldLimit) {
        error = entry.path + ": the name takes " + std::to_string(field.size()) +
                " bytes with its terminator; an archive name holds at most 65535";
        return false;
    }
    if (units >= kPathLimit) {
        error = entry.path + ": the name takes " + std::to_string(units) + (wide ? " UTF-16 units" : " bytes") +
                " with its terminator; it must stay below 260, and the installer prepends its staging folder, "
                "so shorter names are safer";
        return false;
    }
    return true;
}

bool packFile(const SourceEntry& entry, ArchiveItem& item, std::string& error) {
    if (entry.generated) {
        item.packed = packBytes(entry.contents);
        item.fields.sizeLow = static_cast<uint32_t>(entry.contents.size());
        item.fields.packedSizeLow = static_cast<uint32_t>(item.packed.size());
        return true;
    }
    int fd = openQuietly(entry.path, O_RDONLY);
    if (fd < 0) {
        error = systemError("cannot open", entry.path);
        return false;
    }
    StreamPacker packer(9);
    uint64_t total = 0;
    uint8_t buffer[1 << 16];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        total += static_cast<uint64_t>(got);
        if (total >= kFileSizeLimit) break;
        if (!packer.append(buffer, static_cast<size_t>(got))) break;
    }
    int readErrno = errno;
    close(fd);
    if (got < 0) {
        errno = readErrno;
        error = systemError("cannot read", entry.path);
        return false;
    }
    if (total >= kFileSizeLimit) {
        error = entry.path + ": files of 4 GiB or more cannot be packed";
        return false;
    }
    ByteVector packed;
    if (!packer.finish(packed) || packed.size() >= kFileSizeLimit) {
        error = entry.path + ": compression failed";
        return false;
    }
    item.fields.sizeLow = static_cast<uint32_t>(total);
    item.packed.swap(packed);
    item.fields.packedSizeLow = static_cast<uint32_t>(item.packed.size());
    return true;
}

// Compresses every file entry on `jobs` threads. Each file's stream depends
// only on its contents, so the order of the work does not matter; the first
// failure in archive order is the one reported.
bool packFiles(const std::vector<SourceEntry>& entries, const std::vector<ArchiveItem*>& items, unsigned jobs,
               std::string& error) {
    std::vector<size_t> files;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].directory) files.push_back(i);
    }
    std::vector<std::string> errors(entries.size());
    std::vector<char> failed(entries.size(), 0);
    std::atomic<size_t> next{0};
    auto work = [&]() {
        for (size_t k; (k = next.fetch_add(1)) < files.size();) {
            size_t i = files[k];
            failed[i] = !packFile(entries[i], *items[i], errors[i]);
        }
    };
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(files.size(), 1)));
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (failed[i]) {
            error = errors[i];
            return false;
        }
    }
    return true;
}

// The archive's order: component by component in byte order, so that
// every folder comes before its contents.
bool beforeInArchive(const SourceEntry& a, const SourceEntry& b) {
    size_t i = 0, j = 0;
    while (i < a.name.size() && j < b.name.size()) {
        size_t ei = std::min(a.name.find('\\', i), a.name.size());
        size_t ej = std::min(b.name.find('\\', j), b.name.size());
        int order = a.name.compare(i, ei - i, b.name, j, ej - j);
        if (order != 0) return order < 0;
        i = ei + 1;
        j = ej + 1;
    }
    return a.name.size() < b.name.size();
}

// Puts the launcher in the program's place (see LauncherSwap).
bool swapInLauncher(std::vector<SourceEntry>& entries, const LauncherSwap& swap, std::string& error) {
    const std::string name = "Program\\" + swap.programName;
    auto program = std::find_if(entries.begin(), entries.end(),
                                [&](const SourceEntry& e) { return !e.directory && e.name == name; });
    if (program == entries.end()) {
        error = "Program/" + swap.programName + ": no such file in the payload, so no place for the launcher";
        return false;
    }
    SourceEntry launcher = *program;
    launcher.generated = true;
    launcher.contents.assign(swap.image->begin(), swap.image->end());
    program->name = "Program\\" + swap.storedName;
    entries.push_back(launcher);
    std::stable_sort(entries.begin(), entries.end(), beforeInArchive);
    return true;
}

// Adds the uninstall manifest to the Program tree, made from the setup INI
// and the tree's names; its times are the INI's last-write time, clamped like
// every other entry's. Nothing when the payload has no Program folder.
bool addUninstallManifest(const std::string& setupIni, std::vector<SourceEntry>& entries,
                          const PackOptions& options, std::string& error) {
    const std::string prefix = "Program\\";
    auto program = std::find_if(entries.begin(), entries.end(),
                                [](const SourceEntry& e) { return e.directory && e.name == "Program"; });
    if (program == entries.end()) return true;
    int fd = openQuietly(setupIni, O_RDONLY);
    struct statx st;
    if (fd < 0 || statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &st) != 0) {
        error = systemError("cannot read the setup INI", setupIni);
        if (fd >= 0) close(fd);
        return false;
    }
    std::string ini;
    char buffer[1 << 16];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) ini.append(buffer, static_cast<size_t>(got));
    close(fd);
    if (got < 0) {
        error = systemError("cannot read the setup INI", setupIni);
        return false;
    }
    if (options.setupIniText) ini = *options.setupIniText;
    std::vector<ManifestEntry> listed;
    for (const SourceEntry& e : entries) {
        if (e.name.compare(0, prefix.size(), prefix) != 0) continue;
        ManifestEntry entry;
        entry.name = e.name.substr(prefix.size()) + (e.directory ? "\\" : "");
        entry.size = e.size;
        entry.lastWriteTime = e.lastWriteTime;
        listed.push_back(entry);
    }
    SourceEntry manifest;
    manifest.path = setupIni;
    manifest.generated = true;
    manifest.attributes = kAttributeArchive;
    manifest.lastWriteTime = fromStatx(st.stx_mtime);
    FileTime64 epoch = fileTimeFromUnix(options.epoch < 0 ? 0 : options.epoch, 0);
    if (options.clampTimes && manifest.lastWriteTime > epoch) manifest.lastWriteTime = epoch;
    manifest.creationTime = manifest.lastAccessTime = manifest.lastWriteTime;
    std::string versionName;
    if (!buildUninstallManifest(ini, listed, manifest.contents, versionName, error)) {
        error = setupIni + ": " + error;
        return false;
    }
    // Twice, at their places in the archive's order among Program's direct
    // children: the current manifest, and the copy kept for this version.
    SourceEntry versionCopy = manifest;
    manifest.name = prefix + kUninstallManifestName;
    versionCopy.name = prefix + versionName;
    for (SourceEntry* added : {&versionCopy, &manifest}) {
        const std::string own = added->name.substr(prefix.size());
        program = std::find_if(entries.begin(), entries.end(),
                               [](const SourceEntry& e) { return e.directory && e.name == "Program"; });
        auto place = std::find_if(program + 1, entries.end(), [&](const SourceEntry& e) {
            if (e.name.compare(0, prefix.size(), prefix) != 0) return true;
            std::string rest = e.name.substr(prefix.size());
            return rest.substr(0, rest.find('\\')) > own;
        });
        entries.insert(place, *added);
    }
    return true;
}

bool scanAndFill(const std::string& folder, const PackOptions& options, ArchiveWriter& writer,
                 std::string& error) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
        error = systemError("cannot find the payload folder", folder);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = folder + ": the payload must be a folder";
        return false;
    }
    std::vector<SourceEntry> entries;
    if (!TreeScanner(entries, options).scanTop(folder, error)) return false;
    if (options.launcher.image && !swapInLauncher(entries, options.launcher, error)) return false;
    if (!options.setupIni.empty() && !addUninstallManifest(options.setupIni, entries, options, error)) return false;
    bool wide = false;
    if (!chooseWideNames(entries, options.names, wide, error)) return false;

    writer = ArchiveWriter(wide);
    for (const SourceEntry& entry : entries) {
        EntryFields fields;
        fields.attributes = entry.attributes;
        fields.creationTime = entry.creationTime;
        fields.lastAccessTime = entry.lastAccessTime;
        fields.lastWriteTime = entry.lastWriteTime;
        ByteVector name;
        encodeEntryName(entry.name, wide, name, nullptr);
        if (!checkNameLength(entry, name, wide, error)) return false;
        writer.addPackedEntry(fields, name, ByteVector());
    }
    std::vector<ArchiveItem*> items;
    for (ArchiveItem& item : writer.items()) items.push_back(&item);
    return packFiles(entries, items, options.jobs, error);
}

}  // namespace

bool readSourceDateEpoch(PackOptions& options, std::string& error) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    options.clampTimes = false;
    if (!text || !*text) return true;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || errno != 0 || value < 0 || text[0] < '0' || text[0] > '9') {
        error = std::string("SOURCE_DATE_EPOCH is \"") + text + "\", not a number of seconds since 1970";
        return false;
    }
    // File times count 100-nanosecond steps from 1601 in 64 bits, and the
    // platform shows none after the year 9999; a later epoch would overflow
    // the conversion and clamp every stored time to a wrong one.
    if (value > kLatestEpoch) {
        error = std::string("SOURCE_DATE_EPOCH is ") + text + ", later than the end of the year 9999 (" +
                std::to_string(kLatestEpoch) + "); the installed files' times could not be stored";
        return false;
    }
    options.clampTimes = true;
    options.epoch = value;
    return true;
}

bool packPayload(const std::string& folder, const PackOptions& options, std::vector<uint8_t>& archive,
                 std::string& error) {
    ArchiveWriter writer;
    if (!scanAndFill(folder, options, writer, error)) return false;
    archive = writer.build();
    return true;
}

bool packFolder(const std::string& folder, const std::string& archive, const PackOptions& options,
                std::string& error) {
    ArchiveWriter writer;
    if (!scanAndFill(folder, options, writer, error)) return false;
    return writer.writeFile(archive, &error);
}
