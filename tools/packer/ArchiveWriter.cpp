// Lays out payload archives: header, then entries and raw byte runs in the
// order they were added. See ArchiveWriter.h.
#include "ArchiveWriter.h"

#include <cstdint>
#include <stdexcept>

#include <zlib.h>

#include "archive/ArchiveFormat.h"

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr size_t kZlibChunk = 1u << 30;  // zlib counts in 32-bit words

void putLe16(ByteVector& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putLe32(ByteVector& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void putLe64(ByteVector& out, uint64_t value) {
    putLe32(out, static_cast<uint32_t>(value));
    putLe32(out, static_cast<uint32_t>(value >> 32));
}

ByteVector entryHeaderBytes(const EntryFields& f) {
    ByteVector out(f.magic, f.magic + 4);
    putLe32(out, f.attributes);
    putLe64(out, f.creationTime);
    putLe64(out, f.lastAccessTime);
    putLe64(out, f.lastWriteTime);
    putLe32(out, f.sizeHigh);
    putLe32(out, f.sizeLow);
    putLe32(out, f.packedSizeHigh);
    putLe32(out, f.packedSizeLow);
    putLe16(out, f.nameLength);
    return out;
}

// One code point from strict UTF-8 (no overlong forms, no surrogates, at most
// U+10FFFF); false when the bytes at `i` are not one.
bool decodeUtf8(const std::string& text, size_t& i, uint32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    static const uint32_t leadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    uint32_t value = lead & leadMask[length];
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return false;
        value = value << 6 | (byte(i + k) & 0x3F);
    }
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
    codePoint = value;
    return true;
}

void putUtf16(ByteVector& out, uint32_t codePoint) {
    if (codePoint < 0x10000) {
        putLe16(out, static_cast<uint16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    putLe16(out, static_cast<uint16_t>(0xD800 | codePoint >> 10));
    putLe16(out, static_cast<uint16_t>(0xDC00 | (codePoint & 0x3FF)));
}

struct VectorSink {
    ByteVector& out;
    void write(const uint8_t* data, size_t size) { out.insert(out.end(), data, data + size); }
};

struct CrcSink {
    ArchiveCrc crc;
    void write(const uint8_t* data, size_t size) { crc.update(data, size); }
};

struct FileSink {
    std::FILE* file;
    bool ok = true;
    void write(const uint8_t* data, size_t size) {
        if (ok && size && std::fwrite(data, 1, size, file) != size) ok = false;
    }
};

}  // namespace

FileTime64 fileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
    if (seconds < -kUnixEpochInFileTimeSeconds) return 0;
    // The platform takes file times up to 2^63 - 1 steps (in the year
    // 30828); a later time (a file touched far into the future) is held
    // there rather than wrapped round to some earlier one.
    constexpr int64_t kLatestSeconds = INT64_MAX / 10000000 - kUnixEpochInFileTimeSeconds;
    if (seconds >= kLatestSeconds) return static_cast<FileTime64>(INT64_MAX);
    return static_cast<uint64_t>(seconds + kUnixEpochInFileTimeSeconds) * 10000000u + nanoseconds / 100;
}

bool encodeEntryName(const std::string& utf8, bool wide, ByteVector& out, std::string* error) {
    out.clear();
    if (!wide) {
        out.assign(utf8.begin(), utf8.end());
        out.push_back(0);
        return true;
    }
    for (size_t i = 0; i < utf8.size();) {
        uint32_t codePoint = 0;
        if (!decodeUtf8(utf8, i, codePoint)) {
            if (error) *error = "not valid UTF-8 at byte " + std::to_string(i);
            out.clear();
            return false;
        }
        putUtf16(out, codePoint);
    }
    putLe16(out, 0);
    return true;
}

// ---------------------------------------------------------------------------
// zlib streams

struct StreamPacker::State {
    z_stream stream{};
};

StreamPacker::StreamPacker(int level) : state_(new State), ok_(true) {
    // Window of 32 KiB, zlib header and trailer, default memory level.
    ok_ = deflateInit2(&state_->stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

StreamPacker::~StreamPacker() {
    deflateEnd(&state_->stream);
    delete state_;
}

bool StreamPacker::run(const uint8_t* data, size_t size, int flush) {
    z_stream& s = state_->stream;
    uint8_t buffer[65536];
    do {
        size_t piece = size < kZlibChunk ? size : kZlibChunk;
        bool last = piece == size;
        s.next_in = const_cast<Bytef*>(data);
        s.avail_in = static_cast<uInt>(piece);
        int rc;
        do {
            s.next_out = buffer;
            s.avail_out = sizeof buffer;
            rc = deflate(&s, last ? flush : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) return false;
            out_.insert(out_.end(), buffer, buffer + (sizeof buffer - s.avail_out));
        } while (s.avail_out == 0 || (last && flush == Z_FINISH && rc != Z_STREAM_END));
        data += piece;
        size -= piece;
    } while (size > 0);
    return true;
}

bool StreamPacker::append(const uint8_t* data, size_t size) {
    if (ok_ && size > 0) ok_ = run(data, size, Z_NO_FLUSH);
    return ok_;
}

bool StreamPacker::finish(ByteVector& packed) {
    if (ok_) ok_ = run(nullptr, 0, Z_FINISH);
    if (ok_) packed.swap(out_);
    out_.clear();
    return ok_;
}

ByteVector packBytes(const uint8_t* data, size_t size, int level) {
    StreamPacker packer(level);
    ByteVector packed;
    if (!packer.append(data, size) || !packer.finish(packed)) throw std::runtime_error("zlib deflate failed");
    return packed;
}

// ---------------------------------------------------------------------------
// The archive

ArchiveWriter::ArchiveWriter(bool wideNames) {
    header.flags = wideNames ? 0x01 : 0x00;
}

ByteVector ArchiveWriter::encodeName(const std::string& name) const {
    ByteVector bytes;
    std::string error;
    if (!encodeEntryName(name, wideNames(), bytes, &error)) throw std::invalid_argument("entry name " + error);
    return bytes;
}

ArchiveItem& ArchiveWriter::addFile(const std::string& name, const std::string& contents,
                                    uint32_t attributes, FileTime64 time) {
    return addFile(name, ByteVector(contents.begin(), contents.end()), attributes, time);
}

ArchiveItem& ArchiveWriter::addFile(const std::string& name, const ByteVector& contents,
                                    uint32_t attributes, FileTime64 time) {
    EntryFields fields;
    fields.attributes = attributes;
    fields.creationTime = fields.lastAccessTime = fields.lastWriteTime = time;
    fields.sizeLow = static_cast<uint32_t>(contents.size());
    fields.sizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(contents.size()) >> 32);
    return addPackedEntry(fields, encodeName(name), packBytes(contents.data(), contents.size()));
}

ArchiveItem& ArchiveWriter::addDirectory(const std::string& name, uint32_t attributes, FileTime64 time) {
    EntryFields fields;
    fields.attributes = attributes;
    fields.creationTime = fields.lastAccessTime = fields.lastWriteTime = time;
    return addPackedEntry(fields, encodeName(name), ByteVector());
}

ArchiveItem& ArchiveWriter::addRawEntry(const EntryFields& fields, const ByteVector& name, const ByteVector& packed) {
    ArchiveItem item;
    item.fields = fields;
    item.name = name;
    item.packed = packed;
    items_.push_back(std::move(item));
    return items_.back();
}

ArchiveItem& ArchiveWriter::addPackedEntry(EntryFields fields, const ByteVector& name, const ByteVector& packed) {
    if (name.size() > 0xFFFF) throw std::invalid_argument("entry name field longer than 65535 bytes");
    fields.nameLength = static_cast<uint16_t>(name.size());
    fields.packedSizeLow = static_cast<uint32_t>(packed.size());
    fields.packedSizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(packed.size()) >> 32);
    return addRawEntry(fields, name, packed);
}

ArchiveItem& ArchiveWriter::appendBytes(const ByteVector& bytes) {
    ArchiveItem item;
    item.raw = true;
    item.packed = bytes;
    items_.push_back(std::move(item));
    return items_.back();
}

template <typename Sink>
void ArchiveWriter::writeBody(Sink& sink) const {
    for (const ArchiveItem& item : items_) {
        if (!item.raw) {
            ByteVector head = entryHeaderBytes(item.fields);
            sink.write(head.data(), head.size());
            sink.write(item.name.data(), item.name.size());
        }
        sink.write(item.packed.data(), item.packed.size());
    }
}

template <typename Sink>
void ArchiveWriter::writeHeader(Sink& sink, uint32_t checksum) const {
    ByteVector head(header.magic, header.magic + 3);
    head.push_back(header.version);
    head.push_back(header.reserved);
    head.push_back(header.flags);
    putLe32(head, header.overrideChecksum ? header.checksum : checksum);
    sink.write(head.data(), head.size());
}

uint32_t ArchiveWriter::bodyChecksum() const {
    CrcSink sink;
    writeBody(sink);
    return sink.crc.value();
}

ByteVector ArchiveWriter::build() const {
    ByteVector out;
    VectorSink sink{out};
    writeHeader(sink, bodyChecksum());
    writeBody(sink);
    return out;
}

bool ArchiveWriter::writeFile(const std::string& path, std::string* error) const {
    uint32_t checksum = bodyChecksum();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    FileSink sink{file};
    writeHeader(sink, checksum);
    writeBody(sink);
    bool closed = std::fclose(file) == 0;
    if (!sink.ok || !closed) {
        if (error) *error = "cannot write " + path;
        std::remove(path.c_str());
        return false;
    }
    return true;
}
