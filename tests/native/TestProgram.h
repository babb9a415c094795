#pragma once
// A Windows program as setup-pack check reads it, made byte by byte: the
// headers of a 32-bit image and a resource section holding one version
// resource with its fixed record.
#include <stdint.h>

#include <string>

inline void putProgram16(std::string& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void putProgram32(std::string& b, size_t at, uint32_t v) {
    putProgram16(b, at, v & 0xFFFF);
    putProgram16(b, at + 2, v >> 16);
}

// A minimal 32-bit Windows image: headers, and one resource section that
// holds a version resource with the given file version (major.minor), or
// no resources at all when `version` is 0.
struct ProgramShape {
    uint32_t version = 0x00010002;  // 1.2
    uint16_t subsystem = 2;
};

inline std::string craftProgram(const ProgramShape& shape) {
    std::string b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    putProgram32(b, 0x3C, 0x40);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    putProgram16(b, 0x44, 0x14C);   // i386
    putProgram16(b, 0x46, 1);       // one section
    putProgram16(b, 0x54, 0xE0);    // optional header size
    putProgram16(b, 0x56, 0x0102);  // executable, 32-bit
    const size_t opt = 0x58;
    putProgram16(b, opt, 0x10B);
    putProgram32(b, opt + 16, 0x1000);       // entry point
    putProgram32(b, opt + 28, 0x400000);     // image base
    putProgram32(b, opt + 32, 0x1000);       // section alignment
    putProgram32(b, opt + 36, 0x200);        // file alignment
    putProgram16(b, opt + 40, 4);            // OS version
    putProgram16(b, opt + 48, 4);            // subsystem version
    putProgram32(b, opt + 56, 0x2000);       // size of image
    putProgram32(b, opt + 60, 0x200);        // size of headers
    putProgram16(b, opt + 68, shape.subsystem);
    putProgram32(b, opt + 92, 16);           // data directories
    const size_t section = opt + 0xE0;
    b.replace(section, 5, ".rsrc");
    putProgram32(b, section + 8, 0x200);
    putProgram32(b, section + 12, 0x1000);
    putProgram32(b, section + 16, 0x200);
    putProgram32(b, section + 20, 0x200);
    putProgram32(b, section + 36, 0x40000040);  // initialised data, readable
    if (shape.version == 0) return b;
    putProgram32(b, opt + 96 + 16, 0x1000);  // resource table
    putProgram32(b, opt + 96 + 20, 0x100);
    const size_t r = 0x200;
    putProgram16(b, r + 14, 1);  // root: one numbered entry, type 16
    putProgram32(b, r + 16, 16);
    putProgram32(b, r + 20, 0x80000000 | 0x18);
    putProgram16(b, r + 0x18 + 14, 1);  // names: 1
    putProgram32(b, r + 0x18 + 16, 1);
    putProgram32(b, r + 0x18 + 20, 0x80000000 | 0x30);
    putProgram16(b, r + 0x30 + 14, 1);  // languages: 0x409, a data entry
    putProgram32(b, r + 0x30 + 16, 0x409);
    putProgram32(b, r + 0x30 + 20, 0x48);
    putProgram32(b, r + 0x48, 0x1000 + 0x58);  // data: RVA, size
    putProgram32(b, r + 0x48 + 4, 92);
    const size_t v = r + 0x58;
    putProgram16(b, v, 92);
    putProgram16(b, v + 2, 52);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key; ++i) putProgram16(b, v + 6 + 2 * i, static_cast<uint8_t>(key[i]));
    putProgram32(b, v + 40, 0xFEEF04BD);
    putProgram32(b, v + 44, 0x00010000);
    putProgram32(b, v + 48, shape.version);  // file version
    putProgram32(b, v + 56, shape.version);  // product version
    return b;
}

