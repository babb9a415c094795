// Descriptions of the acceptance results, for the tools. Kept apart from
// the reader so that their texts stay out of setup.exe.
#include "archive/ArchiveFormat.h"

const char* describeArchiveCheck(ArchiveCheck check) {
    switch (check) {
    case ArchiveCheck::Accepted: return "accepted";
    case ArchiveCheck::TooShort: return "shorter than the 10-byte archive header";
    case ArchiveCheck::BadMagic: return "does not begin with \"ZOT\"";
    case ArchiveCheck::BadVersion: return "version is not 1";
    case ArchiveCheck::BadReserved: return "reserved byte is not 0";
    case ArchiveCheck::BadChecksum: return "checksum does not match the archive's contents";
    }
    return "unknown check result";
}
