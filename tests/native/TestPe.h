#pragma once
// A small PE image made byte by byte for the tests of the PE module and of
// setup-pack build: headers, .text, .bss, .rsrc and .reloc (one block),
// laid out as the mingw linker lays out the stub.
// .rsrc holds the program's manifest (type 24, number 1) naming
// `executionLevel`, or, with an empty level, an empty resource table.
// Options make it PE32+, a console program, signed, followed by appended
// data or a symbol table, give it another section after .rsrc, or leave
// .text and .rsrc without data, the latter's file offset inside the headers.
#include <stdint.h>

#include <string>
#include <vector>

struct TestPe {
    bool pe32Plus = false;
    uint16_t subsystem = 2;          // GUI
    uint32_t bssSize = 0x1000;       // virtual size of .bss
    uint32_t bssGap = 0;             // address space left between .text and .bss (a hole)
    uint32_t certificateSize = 0;    // nonzero: a certificate table after the sections
    uint32_t appended = 0;           // bytes of data after the last section
    uint32_t symbolTable = 0;        // PointerToSymbolTable
    bool dataAfterResources = false; // a .data section between .rsrc and .reloc
    uint32_t fileAlignment = 0x200;
    bool emptyResourcesInHeaders = false;  // .text and .rsrc without data; .rsrc at file offset 0x100
    std::string executionLevel = "asInvoker";  // of the manifest; "" = no manifest

    static constexpr uint32_t kPeOffset = 0x80;
    uint32_t optionalOffset() const { return kPeOffset + 24; }
    uint32_t directoriesOffset() const { return optionalOffset() + (pe32Plus ? 112 : 96); }
    uint32_t sectionTable() const { return optionalOffset() + (pe32Plus ? 240 : 224); }

    static void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
        b[at] = static_cast<uint8_t>(v);
        b[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    static void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
        put16(b, at, v & 0xFFFF);
        put16(b, at + 2, v >> 16);
    }
    static uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
    }

    std::string manifest() const {
        return "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"><trustInfo "
               "xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges><requestedExecutionLevel "
               "level=\"" + executionLevel + "\"/></requestedPrivileges></security></trustInfo></assembly>";
    }

    std::vector<uint8_t> build() const {
        struct Section {
            const char* name;
            uint32_t va, vsize, raw, rawSize, flags;
        };
        const uint32_t fa = 0x200;
        std::vector<Section> sections;
        const bool empty = emptyResourcesInHeaders;
        sections.push_back({".text", 0x1000, 0x10, 0x400, empty ? 0 : fa, 0x60000020});
        uint32_t bssVa = 0x2000 + bssGap;
        sections.push_back({".bss", bssVa, bssSize, 0, 0, 0xC0000080});
        uint32_t va = (bssVa + bssSize + 0xFFF) & ~0xFFFu;
        uint32_t raw = 0x600;
        uint32_t rsrcVa = va;
        const std::string manifest = executionLevel.empty() ? std::string() : this->manifest();
        // Three one-entry tables (type 24, number 1, language 0), one data
        // entry at 0x48, the manifest's bytes at 0x58.
        const uint32_t rsrcSize = manifest.empty() ? 16 : 0x58 + static_cast<uint32_t>(manifest.size());
        // Writable, as the mingw linker leaves it.
        sections.push_back({".rsrc", va, rsrcSize, empty ? 0x100 : raw, empty ? 0 : fa, 0xC0000040});
        const uint32_t rsrcRaw = raw;
        va += 0x1000;
        raw += fa;
        if (dataAfterResources) {
            sections.push_back({".data", va, 0x10, raw, fa, 0xC0000040});
            va += 0x1000;
            raw += fa;
        }
        uint32_t relocVa = va;
        sections.push_back({".reloc", va, 12, raw, fa, 0x42000040});
        va += 0x1000;
        raw += fa;

        std::vector<uint8_t> b(raw, 0);
        b[0] = 'M';
        b[1] = 'Z';
        put32(b, 0x3C, kPeOffset);
        put32(b, kPeOffset, 0x00004550);
        put16(b, kPeOffset + 4, pe32Plus ? 0x8664 : 0x14C);
        put16(b, kPeOffset + 6, static_cast<uint32_t>(sections.size()));
        put32(b, kPeOffset + 12, symbolTable);
        put16(b, kPeOffset + 20, pe32Plus ? 240 : 224);
        put16(b, kPeOffset + 22, 0x0102);
        uint32_t opt = optionalOffset();
        put16(b, opt, pe32Plus ? 0x20B : 0x10B);
        put32(b, opt + 8, 3 * fa);  // SizeOfInitializedData: .rsrc, .reloc and one more
        put32(b, opt + 32, 0x1000);
        put32(b, opt + 36, fileAlignment);
        put32(b, opt + 56, va);
        put32(b, opt + 60, 0x400);
        put16(b, opt + 68, subsystem);
        put32(b, opt + (pe32Plus ? 108 : 92), 16);
        uint32_t dirs = directoriesOffset();
        put32(b, dirs + 8 * 2, rsrcVa);
        put32(b, dirs + 8 * 2 + 4, empty ? 0 : rsrcSize);
        if (!empty && !manifest.empty()) {
            const uint32_t tables[3][2] = {{0x00, 24}, {0x18, 1}, {0x30, 0}};
            for (int level = 0; level < 3; ++level) {
                uint32_t at = rsrcRaw + tables[level][0];
                put16(b, at + 14, 1);
                put32(b, at + 16, tables[level][1]);
                put32(b, at + 20, level < 2 ? 0x80000000u | tables[level + 1][0] : 0x48);
            }
            put32(b, rsrcRaw + 0x48, rsrcVa + 0x58);
            put32(b, rsrcRaw + 0x4C, static_cast<uint32_t>(manifest.size()));
            for (size_t i = 0; i < manifest.size(); ++i) b[rsrcRaw + 0x58 + i] = static_cast<uint8_t>(manifest[i]);
        }
        put32(b, dirs + 8 * 5, relocVa);
        put32(b, dirs + 8 * 5 + 4, 12);
        for (size_t i = 0; i < sections.size(); ++i) {
            size_t h = sectionTable() + 40 * i;
            for (size_t k = 0; sections[i].name[k]; ++k) b[h + k] = static_cast<uint8_t>(sections[i].name[k]);
            put32(b, h + 8, sections[i].vsize);
            put32(b, h + 12, sections[i].va);
            put32(b, h + 16, sections[i].rawSize);
            put32(b, h + 20, sections[i].raw);
            put32(b, h + 36, sections[i].flags);
        }
        b[0x400] = 0xC3;  // ret
        // One relocation block: page 0x1000, size 12, two entries.
        uint32_t relocRaw = sections.back().raw;
        put32(b, relocRaw, 0x1000);
        put32(b, relocRaw + 4, 12);
        put16(b, relocRaw + 8, pe32Plus ? 0xA004 : 0x3004);  // a 64-bit or a 32-bit address
        if (certificateSize) {
            put32(b, dirs + 8 * 4, static_cast<uint32_t>(b.size()));
            put32(b, dirs + 8 * 4 + 4, certificateSize);
            b.resize(b.size() + certificateSize, 0x5A);
        }
        b.resize(b.size() + appended, 0xA5);
        return b;
    }
};
