// setup-pack list and verify: read an archive with the installer's own
// reading rules (checkArchive, EntryWalker), then report or check it.
#include "ArchiveReport.h"

#include <errno.h>

#include <cstdarg>

#include <cstring>
#include <set>

#include <zlib.h>

#include "archive/ArchiveFormat.h"

namespace {

constexpr size_t kPathLimit = 260;  // the installer's path buffers, terminator included
constexpr uint32_t kSizeHighOffset = 32;
constexpr uint32_t kPackedSizeHighOffset = 40;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

uint32_t readLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t unitAt(const uint8_t* name, uint32_t index) {
    return static_cast<uint16_t>(name[2 * index] | name[2 * index + 1] << 8);
}

void putUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | codePoint >> 6);
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | codePoint >> 12);
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | codePoint >> 18);
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// True when a wide name is well-formed UTF-16 (every surrogate paired).
bool isWellFormedUtf16(const uint8_t* name, uint32_t units) {
    for (uint32_t i = 0; i < units; ++i) {
        uint16_t u = unitAt(name, i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unitAt(name, i + 1) >= 0xDC00 && unitAt(name, i + 1) <= 0xDFFF) {
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Why a name would not land inside the extraction folder, or "".
std::string pathProblem(const std::string& name) {
    if (name.find(':') != std::string::npos) return "holds ':' (a drive or a stream name)";
    size_t start = 0;
    while (true) {
        size_t end = name.find_first_of("\\/", start);
        std::string component = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty()) return "has an empty path component (leading, doubled or trailing separator)";
        if (component == "." || component == "..") return "has a \".\" or \"..\" component";
        if (end == std::string::npos) return "";
        start = end + 1;
    }
}

const char* walkFailure() {
    return "extends past the end of the archive, or its name has no terminator within its name length";
}

class Verifier {
public:
    Verifier(const std::vector<uint8_t>& bytes, std::FILE* err) : bytes_(bytes), err_(err) {}

    int run(std::FILE* out) {
        uint32_t size = static_cast<uint32_t>(bytes_.size());
        ArchiveCheck check = checkArchive(bytes_.data(), size);
        if (check != ArchiveCheck::Accepted) {
            std::fprintf(err_, "not accepted: %s\n", describeArchiveCheck(check));
            return 1;
        }
        wide_ = hasWideNames(bytes_.data());
        EntryWalker walker(bytes_.data(), size, wide_);
        ArchiveEntry entry;
        uint32_t end = kArchiveHeaderSize;
        unsigned count = 0;
        EntryWalker::Step step;
        while ((step = walker.next(entry)) == EntryWalker::Entry) {
            checkEntry(entry);
            end = entry.offset + kEntryHeaderSize + entry.nameLength + entry.packedSizeLow;
            ++count;
        }
        if (step == EntryWalker::Malformed) {
            problem(format("entry at offset %u", end), walkFailure());
        } else if (end < size) {
            problem(format("offset %u", end), format("%u bytes after the last entry do not begin an entry", size - end));
        }
        if (problems_ > 0) {
            std::fprintf(err_, "damaged: %u problem(s)\n", problems_);
            return 1;
        }
        std::fprintf(out, "verified: %u entries intact, %s names, %u bytes\n", count, wide_ ? "UTF-16LE" : "8-bit", size);
        return 0;
    }

private:
    void problem(const std::string& where, const std::string& what) {
        std::fprintf(err_, "%s: %s\n", where.c_str(), what.c_str());
        ++problems_;
    }

    void checkEntry(const ArchiveEntry& e) {
        std::string name = entryNameText(e.name, e.nameUnits, wide_);
        std::string where = format("entry at offset %u (%s)", e.offset, name.c_str());
        checkName(e, name, where);
        const uint8_t* header = bytes_.data() + e.offset;
        if (readLe32(header + kSizeHighOffset) != 0 || readLe32(header + kPackedSizeHighOffset) != 0) {
            problem(where, "a high size word is not 0");
        }
        if (e.isDirectory()) {
            if (e.sizeLow != 0 || e.packedSizeLow != 0) problem(where, "a folder entry carries a size or packed data");
            return;
        }
        checkStream(e, where);
    }

    void checkName(const ArchiveEntry& e, const std::string& name, const std::string& where) {
        uint32_t unitSize = wide_ ? 2 : 1;
        if (e.nameUnits == 0) problem(where, "the name is empty");
        if ((e.nameUnits + 1) * unitSize != e.nameLength) {
            problem(where, format("the name field has %u bytes after the name's terminator",
                                  e.nameLength - (e.nameUnits + 1) * unitSize));
        }
        if (e.nameUnits + 1 >= kPathLimit) problem(where, "the name does not fit the installer's 260-byte paths");
        if (wide_ && !isWellFormedUtf16(e.name, e.nameUnits)) problem(where, "the name is not well-formed UTF-16");
        std::string unsafe = e.nameUnits ? pathProblem(name) : "";
        if (!unsafe.empty()) problem(where, "the name " + unsafe);
        if (!names_.insert(lowerAscii(name)).second) problem(where, "the name occurs twice (ignoring case)");
    }

    // The stream must end exactly at the end of the packed data and decode to
    // exactly sizeLow bytes.
    void checkStream(const ArchiveEntry& e, const std::string& where) {
        z_stream s{};
        if (inflateInit(&s) != Z_OK) {
            problem(where, "zlib could not start");
            return;
        }
        s.next_in = const_cast<Bytef*>(e.packedData);
        s.avail_in = e.packedSizeLow;
        uint8_t buffer[65536];
        uint64_t produced = 0;
        int rc = Z_OK;
        while (rc == Z_OK && produced <= e.sizeLow) {
            s.next_out = buffer;
            s.avail_out = sizeof buffer;
            rc = inflate(&s, Z_NO_FLUSH);
            produced += sizeof buffer - s.avail_out;
        }
        uint32_t leftover = s.avail_in;
        std::string message = s.msg ? s.msg : "";
        inflateEnd(&s);
        if (produced > e.sizeLow) {
            problem(where, format("the stream decodes to more than its size of %u bytes", e.sizeLow));
        } else if (rc == Z_BUF_ERROR && leftover == 0) {
            problem(where, "the stream is cut short by its packed size");
        } else if (rc != Z_STREAM_END) {
            problem(where, "the packed data is not a valid zlib stream" + (message.empty() ? "" : " (" + message + ")"));
        } else if (produced != e.sizeLow) {
            problem(where, format("the stream decodes to %llu bytes, not its size of %u",
                                  static_cast<unsigned long long>(produced), e.sizeLow));
        } else if (leftover != 0) {
            problem(where, format("%u bytes of packed data follow the end of the stream", leftover));
        }
    }

    const std::vector<uint8_t>& bytes_;
    std::FILE* err_;
    bool wide_ = false;
    unsigned problems_ = 0;
    std::set<std::string> names_;
};

}  // namespace

bool readArchiveFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (bytes.size() > 0xFFFFFFFFu) break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    if (bytes.size() > 0xFFFFFFFFu) {
        error = path + ": archives of 4 GiB or more cannot be read by the installer";
        return false;
    }
    return true;
}

std::string entryNameText(const uint8_t* name, uint32_t units, bool wide) {
    std::string text;
    for (uint32_t i = 0; i < units; ++i) {
        if (!wide) {
            uint8_t c = name[i];
            if (c >= 0x20 && c < 0x7F) text += static_cast<char>(c);
            else text += format("\\x%02X", c);
            continue;
        }
        uint32_t u = unitAt(name, i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint32_t low = unitAt(name, i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                putUtf8(text, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if ((u >= 0xD800 && u <= 0xDFFF) || u < 0x20) text += format("\\u%04X", u);
        else putUtf8(text, u);
    }
    return text;
}

std::string fileTimeText(uint64_t fileTime) {
    uint64_t seconds = fileTime / 10000000u;
    unsigned fraction = static_cast<unsigned>(fileTime % 10000000u);
    // Days since 1970-01-01 (1601-01-01 is 134774 days before), then the
    // civil date by the usual era arithmetic.
    int64_t z = static_cast<int64_t>(seconds / 86400) - 134774 + 719468;
    unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return format("%04lld-%02lld-%02lldT%02u:%02u:%02u.%07uZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60, fraction);
}

int listArchive(const std::vector<uint8_t>& bytes, std::FILE* out, std::FILE* err) {
    uint32_t size = static_cast<uint32_t>(bytes.size());
    ArchiveCheck check = checkArchive(bytes.data(), size);
    if (check != ArchiveCheck::Accepted) {
        std::fprintf(err, "not accepted: %s\n", describeArchiveCheck(check));
        return 1;
    }
    bool wide = hasWideNames(bytes.data());
    EntryWalker walker(bytes.data(), size, wide);
    ArchiveEntry e;
    uint32_t end = kArchiveHeaderSize;
    unsigned count = 0;
    EntryWalker::Step step;
    while ((step = walker.next(e)) == EntryWalker::Entry) {
        std::fprintf(out, "%s\t0x%08X\t%u\t%u\t%s\t%s\t%s\n", entryNameText(e.name, e.nameUnits, wide).c_str(),
                     e.attributes, e.sizeLow, e.packedSizeLow,
                     fileTimeText(uint64_t(e.creationTime.high) << 32 | e.creationTime.low).c_str(),
                     fileTimeText(uint64_t(e.lastAccessTime.high) << 32 | e.lastAccessTime.low).c_str(),
                     fileTimeText(uint64_t(e.lastWriteTime.high) << 32 | e.lastWriteTime.low).c_str());
        end = e.offset + kEntryHeaderSize + e.nameLength + e.packedSizeLow;
        ++count;
    }
    if (step == EntryWalker::Malformed) {
        std::fprintf(err, "entry at offset %u: %s\n", end, walkFailure());
        return 1;
    }
    if (end < size) std::fprintf(err, "note: %u bytes after the last entry are not an entry; the installer ignores them\n", size - end);
    std::fprintf(out, "%u entries, %s names\n", count, wide ? "UTF-16LE" : "8-bit");
    return 0;
}

int verifyArchive(const std::vector<uint8_t>& bytes, std::FILE* out, std::FILE* err) {
    return Verifier(bytes, err).run(out);
}
