#pragma once

#include <array>
#include <cstdint>
#include "text/StringType.h"

#include <zlib.h>

#include "platform/FileSystem.h"
#include "sfx/EntryDeflater.h"

inline constexpr std::uint32_t SFX_DEFLATE_CHUNK = 64 * 1024;
inline constexpr int SFX_CHUNK_LEVEL = Z_BEST_COMPRESSION;

// zlib at its strongest level, fed one chunk at a time: whatever the entry's size, it needs
// only its two buffers and zlib's own state (some 400 KiB in all).
class ChunkDeflater {
public:
    ChunkDeflater();
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    // Deflates input from its current position to its end; bytesRead counts what was read.
    bool Run(File& input, const DeflateSink& sink, std::uint64_t& bytesRead, String& error);

private:
    z_stream m_stream{};
    bool m_ready = false;
    std::array<unsigned char, SFX_DEFLATE_CHUNK> m_in{};
    std::array<unsigned char, SFX_DEFLATE_CHUNK> m_out{};
};
