#pragma once

#include <cstdint>
#include <functional>
#include "text/StringType.h"

#include "platform/FileSystem.h"

// Takes a stream piece by piece; false, with the reason in error, stops the deflater.
using DeflateSink =
    std::function<bool(const unsigned char* bytes, std::size_t count, String& error)>;

// The most bytes of one entry that the packer holds in memory to compress it whole. The input
// and its stream are held together, with libdeflate's 9 MiB of state: at most twice this and
// those 9 MiB for one entry.
inline constexpr std::uint64_t SFX_WHOLE_ENTRY_LIMIT = 64ull << 20;

// The archive writer's deflate step: one input file into one zlib stream, as small as this
// build's compressors make it at a cost a release accepts. The build picks the implementation
// by the libraries it has: where libdeflate is there, an entry of at most wholeLimit bytes is
// read whole and compressed by libdeflate's strongest level, and a larger one by zlib's
// strongest level in chunks; elsewhere every entry goes through zlib in chunks.
class EntryDeflater {
public:
    explicit EntryDeflater(std::uint64_t wholeLimit = SFX_WHOLE_ENTRY_LIMIT);

    // Deflates input from its current position to its end. expectedSize is its length when
    // packing began; bytesRead counts what was read, so that the caller can tell a changed file.
    bool Deflate(File& input, std::uint64_t expectedSize, const DeflateSink& sink,
                 std::uint64_t& bytesRead, String& error);

    // How this build deflates entries, in a sentence for sfxpack's help.
    static String Method();

private:
    [[maybe_unused]] std::uint64_t m_wholeLimit;
};
