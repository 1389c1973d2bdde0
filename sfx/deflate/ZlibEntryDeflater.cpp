// The deflate step where libdeflate is not to be had (the mingw-w64 toolchain has no package of
// it): zlib's strongest level in chunks for every entry, so no entry is ever held in memory.

#include "sfx/EntryDeflater.h"

#include <memory>

#include "sfx/ChunkDeflater.h"

EntryDeflater::EntryDeflater(std::uint64_t wholeLimit) : m_wholeLimit(wholeLimit) {}

bool EntryDeflater::Deflate(File& input, std::uint64_t, const DeflateSink& sink,
                            std::uint64_t& bytesRead, String& error) {
    // On the heap: its buffers are larger than a frame of the 32-bit build may be.
    return std::make_unique<ChunkDeflater>()->Run(input, sink, bytesRead, error);
}

String EntryDeflater::Method() {
    return "entries are deflated by zlib " ZLIB_VERSION " at level " + ToString(SFX_CHUNK_LEVEL) +
           ", " + ToString(SFX_DEFLATE_CHUNK >> 10) +
           " KiB at a time. This build has no libdeflate, so its archives come out some 5 % "
           "larger than those of the Linux sfxpack, which packs the releases";
}
