#pragma once
// How a value of a staged Desktop.INI becomes the installation's value.
// Portable: no platform headers, so that it is fuzzed natively.
#include <stddef.h>

// A staged value is read into this many bytes; one that fills the buffer
// (269 bytes counted) may have been cut by the read.
constexpr size_t kShellValueCapacity = 270;
// The installation's value, terminator included.
constexpr size_t kShellResultSize = 260;

// True when a value of `length` bytes, as the reader counted it, is used:
// not empty and not possibly cut.
bool isWholeShellValue(size_t length);

// The value is a format whose "%s" takes `argument` once (later ones the
// empty text) and whose "%%" is a percent sign; nothing else is a
// directive. false when the result does not fit kShellResultSize bytes:
// the key is then not written.
bool formatShellValue(char* result, const char* value, const char* argument);
