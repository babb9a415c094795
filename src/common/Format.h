#pragma once
// Bounded text formatting: the one way texts and paths are built.
//
// Every function writes at most `size` bytes into `dst`, always terminates it
// (when size > 0) and returns false when the result had to be cut. A path
// whose formatting returns false must be treated as a failure, never used.
// Nothing here depends on the platform, so it is tested natively as well.
#include <stdarg.h>
#include <stddef.h>

#if defined(__clang__)
#define SETUP_FORMAT_CHECK(f, a) __attribute__((format(printf, f, a)))
#else
#define SETUP_FORMAT_CHECK(f, a) __attribute__((format(gnu_printf, f, a)))
#endif

// Directives: "%s" (text; null prints as ""), "%u" (unsigned int),
// "%i" (int) and "%%". Any other sequence after "%" is copied as it stands.
// The compiler checks the arguments against the format.
bool formatText(char* dst, size_t size, const char* format, ...) SETUP_FORMAT_CHECK(3, 4);
bool formatTextV(char* dst, size_t size, const char* format, va_list args);

// Formats that come from data (INI values, Desktop.INI values, Icon and Open):
// only "%s" and "%%" are directives. Each "%s" takes the next of the `count`
// texts in `args`, and the empty text once they are used up; any other "%"
// sequence is copied as it stands. No argument beyond `count` is ever read.
bool formatDataText(char* dst, size_t size, const char* format,
                    const char* const* args, size_t count);

// Copies or appends a text; false when it does not fit (dst then holds the
// cut text, terminated).
bool copyText(char* dst, size_t size, const char* src);
bool appendText(char* dst, size_t size, const char* src);
