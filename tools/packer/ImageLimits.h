#pragma once
// Limits of the installer's image, shared by setup-pack build (which refuses
// an installer past them) and setup-pack check (which warns of a payload
// that would pass them).
#include <stdint.h>

// The largest image setup.exe may have. The installer maps its whole image
// into one free block of the 32-bit address space and reads the payload in
// place. Measured under Wine: a 1,950 MiB payload installs; at 1,970 MiB the
// window libraries no longer fit beside the image, so no dialog or message
// can be shown; from 2,000 MiB the image does not load. 1,800 MiB keeps a
// margin for systems that map more of their own.
constexpr uint64_t kImageLimit = uint64_t(1800) << 20;
