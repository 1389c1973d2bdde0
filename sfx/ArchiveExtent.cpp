#include "text/Format.h"
#include "sfx/ArchiveExtent.h"

#include "sfx/ArchiveFormat.h"

#include <algorithm>

#include "sfx/ExtractCodes.h"

namespace {

// The few PE header positions the certificate table needs.
constexpr std::uint64_t PE_DOS_HEADER_SIZE = 64;
constexpr std::uint64_t PE_NEW_HEADER_POINTER = 0x3C;  // e_lfanew
constexpr std::uint64_t PE_COFF_HEADER_SIZE = 24;      // "PE\0\0" and the file header
constexpr std::uint64_t PE_SECTION_COUNT = 6;          // in the file header, after "PE\0\0"
constexpr std::uint64_t PE_OPTIONAL_SIZE = 20;
constexpr std::uint64_t PE_SECTION_HEADER_SIZE = 40;
constexpr std::uint16_t PE32_MAGIC = 0x10B;
constexpr std::uint16_t PE32_PLUS_MAGIC = 0x20B;
constexpr std::uint64_t PE32_DIRECTORY_COUNT = 92;  // NumberOfRvaAndSizes in the optional header
constexpr std::uint64_t PE32_PLUS_DIRECTORY_COUNT = 108;
constexpr std::uint64_t PE_DIRECTORY_SIZE = 8;  // address and size
constexpr std::uint32_t PE_SECURITY_DIRECTORY = 4;

// Reads of one file that stay within its length, and whether one of them failed.
class BoundedReader {
public:
    BoundedReader(File& file, std::uint64_t length) : m_file(file), m_length(length) {}

    // Reads count bytes at position when they lie within the file; false otherwise.
    bool Read(std::uint64_t position, void* buffer, std::uint32_t count) {
        if (position > m_length || m_length - position < count) {
            return false;
        }
        if (ReadExactlyAt(m_file, position, buffer, count) != WIN_OK) {
            m_failed = true;
            return false;
        }
        return true;
    }
    // True once a read within the file has failed.
    bool Failed() const { return m_failed; }

private:
    File& m_file;
    std::uint64_t m_length;
    bool m_failed = false;
};

struct SecurityDirectory {
    std::uint64_t headersEnd = 0;  // the end of the section table
    std::uint32_t address = 0;     // a file position, unlike every other directory's
    std::uint32_t size = 0;
};

// Finds the security directory of a PE image; false when the file is not one whose headers
// reach that far.
bool ReadSecurityDirectory(BoundedReader& reader, SecurityDirectory& directory) {
    unsigned char dos[PE_DOS_HEADER_SIZE];
    if (!reader.Read(0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z') {
        return false;
    }
    std::uint64_t pe = SfxReadNumber(dos + PE_NEW_HEADER_POINTER, 4);
    unsigned char coff[PE_COFF_HEADER_SIZE];
    if (!reader.Read(pe, coff, sizeof(coff)) || coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 ||
        coff[3] != 0) {
        return false;
    }
    std::uint64_t sections = SfxReadNumber(coff + PE_SECTION_COUNT, 2);
    std::uint64_t optionalSize = SfxReadNumber(coff + PE_OPTIONAL_SIZE, 2);
    std::uint64_t optional = pe + PE_COFF_HEADER_SIZE;
    unsigned char magic[2];
    if (optionalSize < sizeof(magic) || !reader.Read(optional, magic, sizeof(magic))) {
        return false;
    }
    std::uint32_t kind = SfxReadNumber(magic, 2);
    if (kind != PE32_MAGIC && kind != PE32_PLUS_MAGIC) {
        return false;
    }
    std::uint64_t countField =
        optional + (kind == PE32_MAGIC ? PE32_DIRECTORY_COUNT : PE32_PLUS_DIRECTORY_COUNT);
    std::uint64_t entry = countField + 4 + PE_SECURITY_DIRECTORY * PE_DIRECTORY_SIZE;
    // The entry must lie within the optional header as its own size field says.
    if (entry + PE_DIRECTORY_SIZE > optional + optionalSize) {
        return false;
    }
    unsigned char count[4];
    unsigned char security[PE_DIRECTORY_SIZE];
    if (!reader.Read(countField, count, sizeof(count)) ||
        SfxReadNumber(count, 4) <= PE_SECURITY_DIRECTORY ||
        !reader.Read(entry, security, sizeof(security))) {
        return false;
    }
    directory.headersEnd = optional + optionalSize + sections * PE_SECTION_HEADER_SIZE;
    directory.address = SfxReadNumber(security, 4);
    directory.size = SfxReadNumber(security + 4, 4);
    return true;
}

// The zero bytes right in front of the table, at most as many as aligning it can have added.
std::uint64_t AlignmentPadding(BoundedReader& reader, std::uint64_t tableStart) {
    unsigned char before[SFX_CERTIFICATE_ALIGNMENT - 1];
    auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(sizeof(before), tableStart));
    if (!reader.Read(tableStart - count, before, count)) {
        return 0;
    }
    std::uint64_t zeros = 0;
    while (zeros < count && before[count - 1 - zeros] == 0) {
        ++zeros;
    }
    return zeros;
}

}  // namespace

int FindArchiveExtent(File& file, std::uint64_t fileLength, ArchiveExtent& extent, String& fault) {
    extent = ArchiveExtent{};
    extent.end = fileLength;
    SecurityDirectory directory;
    BoundedReader reader(file, fileLength);
    if (!ReadSecurityDirectory(reader, directory)) {
        if (reader.Failed()) {
            fault = "cannot read the file's headers";
            return SFX_ERR_SIGNATURE;
        }
        return SFX_OK;
    }
    if (directory.address == 0 && directory.size == 0) {
        return SFX_OK;  // unsigned
    }
    std::uint64_t tableEnd = std::uint64_t{directory.address} + directory.size;
    if (directory.address < directory.headersEnd) {
        FormatTo(fault,
                 "the certificate table at %d starts inside the program's headers (they end "
                 "at %d)",
                 directory.address, directory.headersEnd);
        return SFX_ERR_SIGNATURE;
    }
    if (tableEnd > fileLength) {
        FormatTo(fault,
                 "the certificate table at %d of %d bytes runs past the end of the file at %d",
                 directory.address, directory.size, fileLength);
        return SFX_ERR_SIGNATURE;
    }
    extent.hasCertificateTable = true;
    extent.tableStart = directory.address;
    extent.tableSize = directory.size;
    extent.tableEndsFile = tableEnd == fileLength;
    if (extent.tableEndsFile) {
        extent.end = directory.address - AlignmentPadding(reader, directory.address);
    }
    if (reader.Failed()) {
        fault = "cannot read the bytes in front of the certificate table";
        return SFX_ERR_SIGNATURE;
    }
    return SFX_OK;
}
