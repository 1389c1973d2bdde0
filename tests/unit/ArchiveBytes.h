#pragma once

// Archives as bytes, for the archive tests and the fuzz target's seeds: made by the product's
// writer, then damaged where a test needs a lie, each field found through the format's
// constants. Streams from zlib itself, PE images and what signing does to them.

#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sfx/ArchiveFormat.h"
#include "sfx/ArchiveWriter.h"
#include "tests/unit/MemoryFile.h"

namespace archive_test {

struct TestEntry {
    std::string name;
    std::string data;
    std::string stream;  // empty: the writer compresses data itself
};

// The archive the product's writer makes of the entries behind the image; empty, with the
// writer's reason, when it refuses.
inline std::string WriteArchive(const std::vector<TestEntry>& entries, const std::string& image,
                                std::uint64_t wholeEntryLimit, std::string& error) {
    MemoryFile out(image);
    out.seek(0, SeekOrigin::End);
    ArchiveWriter writer(out, image.size(), wholeEntryLimit);
    String reason(error);
    bool written = true;
    for (const TestEntry& entry : entries) {
        MemoryFile input(entry.data);
        written = entry.stream.empty()
                      ? writer.AddFile(entry.name, input, reason)
                      : writer.AddStream(entry.name, static_cast<std::uint32_t>(entry.data.size()),
                                         entry.stream, reason);
        if (!written) {
            break;
        }
    }
    written = written && writer.Finish(reason);
    error = std::string(reason);
    return written ? out.data() : "";
}

inline std::string RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

inline std::string TextBytes(std::size_t count) {
    std::string text;
    for (int line = 0; text.size() < count; ++line) {
        text +=
            "line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog\r\n";
    }
    text.resize(count);
    return text;
}

inline std::uint32_t GetNumber(const std::string& bytes, std::size_t position) {
    return SfxReadNumber(reinterpret_cast<const unsigned char*>(bytes.data() + position));
}

// Where entry k's record starts, found as the reader finds it: backwards from the trailer,
// by the name lengths that end the records.
inline std::size_t RecordAt(const std::string& archive, std::size_t k) {
    std::size_t position = archive.size() - SFX_TRAILER_SIZE;
    for (std::size_t i = GetNumber(archive, position); i-- > k;) {
        position -= SFX_RECORD_FIXED_SIZE + GetNumber(archive, position - SFX_NUMBER_LENGTH);
    }
    return position;
}

// Position of a record's field: SFX_RECORD_OFFSET, SFX_RECORD_SIZE or SFX_RECORD_PACKED_SIZE.
inline std::size_t RecordField(const std::string& archive, std::size_t k, std::size_t field) {
    return RecordAt(archive, k) + field;
}
inline void PutNumber(std::string& bytes, std::size_t position, std::uint32_t value) {
    for (std::uint32_t i = 0; i < SFX_NUMBER_LENGTH; ++i) {
        bytes[position + i] = static_cast<char>(value >> (8 * i));
    }
}

inline std::uint32_t Field(const std::string& archive, std::size_t k, std::size_t field) {
    return GetNumber(archive, RecordField(archive, k, field));
}

// The archive with entry k's record field set to value: a record that lies.
inline std::string WithField(std::string archive, std::size_t k, std::size_t field,
                             std::uint32_t value) {
    PutNumber(archive, RecordField(archive, k, field), value);
    return archive;
}

// A zlib stream of the data straight from zlib (at its best compression unless told), not from
// our writer; empty if zlib fails.
inline std::string ZlibStream(const std::string& data, int level = Z_BEST_COMPRESSION) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::string stream(length, '\0');
    int status = compress2(reinterpret_cast<Bytef*>(stream.data()), &length,
                           reinterpret_cast<const Bytef*>(data.data()),
                           static_cast<uLong>(data.size()), level);
    stream.resize(status == Z_OK ? length : 0);
    return stream;
}

// A PE image with headers as far as the certificate table needs them: the DOS header pointing
// at "PE\0\0" at 0x80, a file header with one section, the optional header of PE32 or PE32+
// with 16 data directories, one section header; padded to length bytes. The security
// directory (entry 4) is empty.
constexpr std::size_t PE_HEADER = 0x80;
inline std::size_t PeOptionalSize(bool plus) {
    return plus ? 240 : 224;
}
inline std::size_t PeSecurityEntry(bool plus) {
    return PE_HEADER + 24 + (plus ? 144 : 128);
}
inline std::size_t PeHeadersEnd(bool plus) {
    return PE_HEADER + 24 + PeOptionalSize(plus) + 40;
}
inline std::string PeImage(bool plus, std::size_t length = 1024) {
    std::string image(length, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PutNumber(image, 0x3C, PE_HEADER);
    image.replace(PE_HEADER, 4, std::string("PE\0\0", 4));
    image[PE_HEADER + 4] = static_cast<char>(plus ? 0x64 : 0x4C);  // machine
    image[PE_HEADER + 5] = static_cast<char>(plus ? 0x86 : 0x01);
    image[PE_HEADER + 6] = 1;                                         // sections
    image[PE_HEADER + 20] = static_cast<char>(PeOptionalSize(plus));  // optional header size
    std::size_t optional = PE_HEADER + 24;
    image[optional] = 0x0B;
    image[optional + 1] = static_cast<char>(plus ? 0x02 : 0x01);
    PutNumber(image, optional + (plus ? 108 : 92), 16);  // data directories
    image.replace(PeHeadersEnd(plus) - 40, 5, ".text");
    return image;
}

inline void SetSecurityDirectory(std::string& file, bool plus, std::uint32_t address,
                                 std::uint32_t size) {
    PutNumber(file, PeSecurityEntry(plus), address);
    PutNumber(file, PeSecurityEntry(plus) + 4, size);
}

// What signing does to a file: zeros up to a multiple of 8 bytes, then a certificate table,
// recorded in the security directory. The table is a header (length, revision 2.0, PKCS#7) and
// filler.
inline std::string SignLikeATool(const std::string& file, bool plus, std::size_t tableSize = 1024) {
    std::string table = RandomBytes(tableSize, 77);
    PutNumber(table, 0, static_cast<std::uint32_t>(tableSize));
    PutNumber(table, 4, 0x00020200);
    std::string signedFile = file + std::string((8 - file.size() % 8) % 8, '\0');
    auto start = static_cast<std::uint32_t>(signedFile.size());
    signedFile += table;
    SetSecurityDirectory(signedFile, plus, start, static_cast<std::uint32_t>(tableSize));
    return signedFile;
}

}  // namespace archive_test
