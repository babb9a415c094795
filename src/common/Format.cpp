#include "common/Format.h"

#include <string.h>

namespace {

// Collects output into a fixed buffer, remembering whether anything was cut.
class Output {
public:
    Output(char* dst, size_t size) : dst_(dst), size_(size), used_(0), cut_(size == 0) {}

    void put(const char* text, size_t length) {
        size_t room = size_ == 0 ? 0 : size_ - 1 - used_;
        if (length > room) {
            length = room;
            cut_ = true;
        }
        if (length != 0) memcpy(dst_ + used_, text, length);
        used_ += length;
    }
    void put(const char* text) { put(text, strlen(text)); }
    void put(char c) { put(&c, 1); }

    void putUnsigned(unsigned value) {
        char digits[10];
        size_t count = 0;
        do {
            digits[sizeof digits - ++count] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        put(digits + sizeof digits - count, count);
    }

    void putSigned(int value) {
        if (value >= 0) return putUnsigned(static_cast<unsigned>(value));
        put('-');
        putUnsigned(0u - static_cast<unsigned>(value));  // exact for INT_MIN too
    }

    bool finish() {
        if (size_ != 0) dst_[used_] = '\0';
        return !cut_;
    }

private:
    char* dst_;
    size_t size_;
    size_t used_;
    bool cut_;
};

}  // namespace

bool formatTextV(char* dst, size_t size, const char* format, va_list args) {
    Output out(dst, size);
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            out.put(*p);
            continue;
        }
        switch (p[1]) {
        case 's': {
            const char* text = va_arg(args, const char*);
            out.put(text ? text : "");
            ++p;
            break;
        }
        case 'u': out.putUnsigned(va_arg(args, unsigned)); ++p; break;
        case 'i': out.putSigned(va_arg(args, int)); ++p; break;
        case '%': out.put('%'); ++p; break;
        default: out.put('%'); break;  // not a directive: copied as it stands
        }
    }
    return out.finish();
}

bool formatText(char* dst, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool complete = formatTextV(dst, size, format, args);
    va_end(args);
    return complete;
}

bool formatDataText(char* dst, size_t size, const char* format,
                    const char* const* args, size_t count) {
    Output out(dst, size);
    size_t next = 0;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            const char* text = next < count && args[next] ? args[next] : "";
            ++next;
            out.put(text);
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            out.put('%');
            ++p;
        } else {
            out.put(*p);
        }
    }
    return out.finish();
}

bool copyText(char* dst, size_t size, const char* src) {
    Output out(dst, size);
    out.put(src);
    return out.finish();
}

bool appendText(char* dst, size_t size, const char* src) {
    size_t used = strnlen(dst, size);
    if (used == size) return false;  // dst was not terminated within its buffer
    return copyText(dst + used, size - used, src);
}
