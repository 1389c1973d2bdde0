#pragma once

#include <cstdint>
#include "text/StringType.h"

// The appended archive, byte for byte. Behind the executable image: the entries' zlib streams
// back to back, then one directory record per entry, then an 18-byte trailer that ends the
// archive. Integers are unsigned 32-bit little-endian; names carry no terminator. The reader
// and the writer both take the layout from here.
//
//   record:  offset | size | packed size | name (n bytes) | n      (16 + n bytes)
//   trailer: entry count | "1.10" | "!QORA_SFX!"                   (18 bytes)
//
// A record's length stands at its end, so the directory is walked backwards from the trailer.

inline constexpr char SFX_MAGIC[] = "!QORA_SFX!";
inline constexpr std::uint32_t SFX_MAGIC_LENGTH = 10;
// The one version there is; any other is not an archive of this format.
inline constexpr char SFX_VERSION[] = "1.10";
inline constexpr std::uint32_t SFX_VERSION_LENGTH = 4;
inline constexpr std::uint32_t SFX_NUMBER_LENGTH = 4;

// Distances from the archive's end of the trailer's fields.
inline constexpr std::uint32_t SFX_MAGIC_DISTANCE = SFX_MAGIC_LENGTH;
inline constexpr std::uint32_t SFX_VERSION_DISTANCE = SFX_MAGIC_DISTANCE + SFX_VERSION_LENGTH;
inline constexpr std::uint32_t SFX_COUNT_DISTANCE = SFX_VERSION_DISTANCE + SFX_NUMBER_LENGTH;

// Positions within a record of its numbers; the name follows them and its length ends it.
inline constexpr std::uint32_t SFX_RECORD_OFFSET = 0;
inline constexpr std::uint32_t SFX_RECORD_SIZE = 4;
inline constexpr std::uint32_t SFX_RECORD_PACKED_SIZE = 8;
inline constexpr std::uint32_t SFX_RECORD_NAME = 12;
inline constexpr std::uint32_t SFX_RECORD_FIXED_SIZE = 16;  // the four numbers

enum : int {
    SFX_TRAILER_SIZE = 18,
    SFX_MAX_ENTRIES = 256,       // the extractor's table
    SFX_MAX_NAME_LENGTH = 1000,  // the extractor's name buffer
};
static_assert(SFX_TRAILER_SIZE == SFX_COUNT_DISTANCE);

// A little-endian number of `count` bytes (4 in the archive, 2 or 4 in a PE header).
inline std::uint32_t SfxReadNumber(const unsigned char* bytes, int count = SFX_NUMBER_LENGTH) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

inline void SfxAppendNumber(String& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>((value >> shift) & 0xFF);
    }
}

// Everything of the trailer behind the count.
inline String SfxTrailerTail() {
    return String(SFX_VERSION, SFX_VERSION_LENGTH) + String(SFX_MAGIC, SFX_MAGIC_LENGTH);
}
