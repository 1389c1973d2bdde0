#include "sfx/ChunkDeflater.h"

ChunkDeflater::ChunkDeflater() {
    m_ready = deflateInit(&m_stream, SFX_CHUNK_LEVEL) == Z_OK;
}

ChunkDeflater::~ChunkDeflater() {
    if (m_ready) {
        deflateEnd(&m_stream);
    }
}

bool ChunkDeflater::Run(File& input, const DeflateSink& sink, std::uint64_t& bytesRead,
                        String& error) {
    if (!m_ready) {
        error = "out of memory for the compressor";
        return false;
    }
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        std::uint32_t got = 0;
        if (Win32Error read = input.read(m_in.data(), SFX_DEFLATE_CHUNK, got); read != WIN_OK) {
            error = "cannot read input (Windows error " + ToString(read) + ")";
            return false;
        }
        bytesRead += got;
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        m_stream.next_in = m_in.data();
        m_stream.avail_in = got;
        do {
            m_stream.next_out = m_out.data();
            m_stream.avail_out = SFX_DEFLATE_CHUNK;
            deflate(&m_stream, flush);
            if (!sink(m_out.data(), SFX_DEFLATE_CHUNK - m_stream.avail_out, error)) {
                return false;
            }
        } while (m_stream.avail_out == 0);
    }
    return true;
}
