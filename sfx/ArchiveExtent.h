#pragma once

#include <cstdint>
#include "text/StringType.h"

#include "platform/FileSystem.h"

// Where the archive in a file ends. Signing a program appends its certificate table behind
// everything the file holds, the archive included, and records the table in the PE headers
// (data directory entry 4, the security directory, whose address is a file position). So:
//
// - a file that is not a PE image, or one without a certificate table: the archive ends at the
//   end of the file, exactly as it always did;
// - a PE image whose certificate table ends the file: the archive ends where the table begins,
//   less the zero bytes (at most 7) that signing tools put in front of the table to align it
//   to 8 bytes (the trailer's last byte is never zero, so they cannot be mistaken for it); a
//   trailer inside the table is never looked for, since the signature does not cover the
//   table and anyone can write there without breaking it;
// - a PE image whose table lies elsewhere (a program signed before it was packed): the archive
//   ends at the end of the file, and the reader checks that the table ends before the first
//   stream.
//
// A table that runs past the end of the file or starts inside the headers lies, and the file is
// refused. Every header field is checked against the file before it is used; headers that do
// not hold together are no PE image, and the file is read as any other.
struct ArchiveExtent {
    std::uint64_t end = 0;         // one past the trailer's last byte
    std::uint64_t tableStart = 0;  // the certificate table, when there is one
    std::uint64_t tableSize = 0;
    bool hasCertificateTable = false;
    bool tableEndsFile = false;  // else it lies in the image in front of the archive
};

// Signing tools align the certificate table to 8 bytes with zeros in front of it.
inline constexpr std::uint64_t SFX_CERTIFICATE_ALIGNMENT = 8;

// SFX_OK with the extent; SFX_ERR_SIGNATURE with the reason in words when the certificate
// table lies or the headers cannot be read.
int FindArchiveExtent(File& file, std::uint64_t fileLength, ArchiveExtent& extent, String& fault);
