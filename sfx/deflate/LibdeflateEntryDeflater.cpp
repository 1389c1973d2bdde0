// The deflate step where libdeflate is installed: its strongest level for every entry that fits
// in memory, zlib's strongest in chunks beyond.

#include "sfx/EntryDeflater.h"

#include <algorithm>
#include <memory>
#include <new>

#include <libdeflate.h>

#include "sfx/ChunkDeflater.h"

namespace {

// libdeflate's near-optimal parsing at its most thorough. On the benchmark's Windows libraries
// it packs some 5 % smaller than zlib's default level in under four times its time; zopfli
// packed them no smaller, in some seventy times zlib's time.
constexpr int PACK_LIBDEFLATE_LEVEL = 12;

struct CompressorRelease {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};

struct Buffer {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
};

// The rest of the file in one buffer, as long as it was when packing began. A file that turns
// out longer has changed while it was read; it is not read on past the buffer.
bool ReadWhole(File& input, std::uint64_t expectedSize, Buffer& data, std::uint64_t& bytesRead,
               String& error) {
    std::size_t capacity = static_cast<std::size_t>(expectedSize) + 1;  // room to see it grow
    data.bytes.reset(new (std::nothrow) unsigned char[capacity]);
    if (!data.bytes) {
        error = "out of memory for " + ToString(expectedSize) + " bytes";
        return false;
    }
    std::uint32_t got = 0;
    do {
        std::size_t room = capacity - data.size;
        auto want = static_cast<std::uint32_t>(std::min<std::size_t>(room, SFX_DEFLATE_CHUNK));
        if (Win32Error read = input.read(data.bytes.get() + data.size, want, got); read != WIN_OK) {
            error = "cannot read input (Windows error " + ToString(read) + ")";
            return false;
        }
        data.size += got;
        bytesRead += got;
    } while (got != 0 && data.size < capacity);
    if (data.size > expectedSize) {
        error = "the file grew past its " + ToString(expectedSize) + " bytes while it was read";
        return false;
    }
    return true;
}

bool DeflateWhole(const Buffer& data, const DeflateSink& sink, String& error) {
    std::unique_ptr<libdeflate_compressor, CompressorRelease> compressor(
        libdeflate_alloc_compressor(PACK_LIBDEFLATE_LEVEL));
    std::size_t bound =
        compressor ? libdeflate_zlib_compress_bound(compressor.get(), data.size) : 0;
    std::unique_ptr<unsigned char[]> stream(new (std::nothrow) unsigned char[bound]);
    if (!compressor || !stream) {
        error = "out of memory for the compressor";
        return false;
    }
    std::size_t length = libdeflate_zlib_compress(compressor.get(), data.bytes.get(), data.size,
                                                  stream.get(), bound);
    if (length == 0) {
        error = "the compressor's stream overran its own bound";
        return false;
    }
    return sink(stream.get(), length, error);
}

}  // namespace

EntryDeflater::EntryDeflater(std::uint64_t wholeLimit) : m_wholeLimit(wholeLimit) {}

bool EntryDeflater::Deflate(File& input, std::uint64_t expectedSize, const DeflateSink& sink,
                            std::uint64_t& bytesRead, String& error) {
    if (expectedSize > m_wholeLimit) {
        return ChunkDeflater().Run(input, sink, bytesRead, error);
    }
    Buffer data;
    return ReadWhole(input, expectedSize, data, bytesRead, error) &&
           DeflateWhole(data, sink, error);
}

String EntryDeflater::Method() {
    return "entries of up to " + ToString(SFX_WHOLE_ENTRY_LIMIT >> 20) +
           " MiB are read whole and deflated by libdeflate " LIBDEFLATE_VERSION_STRING
           " at level " +
           ToString(PACK_LIBDEFLATE_LEVEL) + ", larger ones by zlib " ZLIB_VERSION " at level " +
           ToString(SFX_CHUNK_LEVEL) + ", " + ToString(SFX_DEFLATE_CHUNK >> 10) + " KiB at a time";
}
