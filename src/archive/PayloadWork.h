#pragma once
// How much work a payload makes, for the progress shown while it is
// installed.
#include <stdint.h>

// The bytes of one install of `archive`: every file entry's size once for
// its extraction and once more for its copy from the staged trees. Entries
// past a malformed one are not counted.
uint64_t payloadWorkBytes(const uint8_t* archive, uint32_t size);
