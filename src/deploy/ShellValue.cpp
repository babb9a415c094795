#include "deploy/ShellValue.h"

#include "common/Format.h"

bool isWholeShellValue(size_t length) { return length != 0 && length < kShellValueCapacity - 1; }

bool formatShellValue(char* result, const char* value, const char* argument) {
    return formatDataText(result, kShellResultSize, value, &argument, 1);
}
