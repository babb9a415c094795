#pragma once
// Version texts read as numbers. Portable: no platform headers.

// A version text read as numbers: the major number at its start and, when
// it holds a point, the minor number after the first point. Each number is
// read as a decimal integer (blanks skipped, optional sign, digits); no
// digits give 0 and numbers beyond 32 bits are held at the nearest limit.
struct VersionNumbers {
    int major;
    int minor;
    bool hasMinor;
};
VersionNumbers readVersionText(const char* text);

// True when `installed` is newer than `offered`: a greater major number, or
// the same major and a greater minor when both texts have one.
bool isNewerVersion(const char* installed, const char* offered);
