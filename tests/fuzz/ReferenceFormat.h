#pragma once
// A second, plain implementation of the data-text directives, for the fuzz
// targets to compare against: "%s" takes the next argument (the empty text
// once they are used up), "%%" is a percent sign, anything else is copied.
#include <stddef.h>

#include <string>

inline std::string referenceDataText(const std::string& format, const char* const* args, size_t count) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            if (next < count && args[next]) out += args[next];
            ++next;
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

inline void require(bool condition) {
    if (!condition) __builtin_trap();
}
