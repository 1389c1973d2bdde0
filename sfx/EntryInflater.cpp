#include "text/Format.h"
#include "sfx/EntryInflater.h"

#include <algorithm>

int EntryInflater::Inflate(File& archive, const ArchiveEntry& entry, File& output,
                           ExtractCallbackFn callback, void* context, String& fault) {
    fault.clear();
    m_ioError = archive.seek(entry.m_offset, SeekOrigin::Begin);
    if (m_ioError != WIN_OK) {
        fault = "cannot seek to its stream";
        return SFX_ERR_WRITE;
    }
    if (!Start(entry)) {
        fault = "out of memory for the inflater";
        return SFX_ERR_WRITE;
    }
    int status = Z_OK;
    Win32Error ioError = InflatePasses(archive, output, entry, callback, context, status);
    if (ioError == WIN_OK && status == Z_OK && m_inflated <= entry.m_size) {
        ioError = FlushRest(output, status);
    }
    int result = SFX_ERR_WRITE;
    m_ioError = ioError;
    if (ioError != WIN_OK) {
        fault = Format("cannot read its stream or write its file (Windows error %d)", ioError);
    } else {
        result = StreamFault(entry, status, fault);
    }
    inflateEnd(&m_stream);
    return result;
}

bool EntryInflater::Start(const ArchiveEntry& entry) {
    m_stream.next_in = m_inBuf.data();
    m_stream.avail_in = 0;
    m_stream.next_out = m_outBuf.data();
    m_stream.avail_out = SFX_BUFFER_SIZE;
    m_recordedSize = entry.m_size;
    m_packedLeft = entry.m_packedSize;
    m_inflated = 0;
    // The oldest interface these streams need; every zlib 1.x accepts it.
    return inflateInit_(&m_stream, "1.1.4", static_cast<int>(sizeof(z_stream))) == Z_OK;
}

// One pass per 4096-byte block of input, with a progress report after each pass that left the
// stream open; ends at the end of the stream, at an error, or when the packed bytes run out.
Win32Error EntryInflater::InflatePasses(File& archive, File& output, const ArchiveEntry& entry,
                                        ExtractCallbackFn callback, void* context, int& status) {
    Win32Error ioError = WIN_OK;
    std::uint32_t available = 0;
    while ((ioError = FillInput(archive, available)) == WIN_OK && available != 0) {
        status = inflate(&m_stream, Z_NO_FLUSH);
        std::uint32_t written = 0;
        ioError = FlushOutput(output, written);
        // A stream that inflates past its recorded size is damaged; stop before it fills the disk.
        if (ioError != WIN_OK || status != Z_OK || m_inflated > entry.m_size) {
            break;
        }
        if (callback != nullptr) {
            int percent = GetEntryPercent(entry.m_packedSize);
            callback(EXTRACT_PROGRESS, &percent, context);
        }
    }
    return ioError;
}

// The packed bytes ran out before the end of the stream: zlib may still hold output for them.
Win32Error EntryInflater::FlushRest(File& output, int& status) {
    Win32Error ioError = WIN_OK;
    std::uint32_t written = 0;
    do {
        status = inflate(&m_stream, Z_FINISH);
        ioError = FlushOutput(output, written);
    } while (ioError == WIN_OK && written != 0 && status == Z_OK && m_inflated <= m_recordedSize);
    return ioError;
}

int EntryInflater::StreamFault(const ArchiveEntry& entry, int status, String& fault) const {
    std::uint64_t unread = std::uint64_t{m_stream.avail_in} + m_packedLeft;
    if (m_inflated > entry.m_size) {
        fault = Format("inflates past its recorded size of %d bytes", entry.m_size);
    } else if (status == Z_STREAM_END && unread != 0) {
        fault =
            Format("stream ends %d bytes before its packed size of %d", unread, entry.m_packedSize);
    } else if (status == Z_STREAM_END && m_inflated != entry.m_size) {
        fault = Format("inflates to %d bytes, recorded %d", m_inflated, entry.m_size);
    } else if (status == Z_OK || status == Z_BUF_ERROR) {
        fault =
            Format("stream does not end within its packed size of %d bytes", entry.m_packedSize);
    } else if (status != Z_STREAM_END) {
        fault = "stream damaged: ";
        if (m_stream.msg != nullptr) {
            fault += m_stream.msg;
        } else {
            AppendFormat(fault, "inflate error %d", status);
        }
    }
    return fault.empty() ? SFX_OK : SFX_ERR_CORRUPT;
}

Win32Error EntryInflater::FillInput(File& archive, std::uint32_t& available) {
    if (m_stream.avail_in == 0 && m_packedLeft != 0) {
        std::uint32_t want = std::min<std::uint32_t>(m_packedLeft, SFX_BUFFER_SIZE);
        std::uint32_t got = 0;
        if (Win32Error error = archive.read(m_inBuf.data(), want, got); error != WIN_OK) {
            available = 0;
            return error;
        }
        // The directory read checked that the stream lies within the file: fewer bytes now
        // mean that the file changed under us, a failed read like any other.
        if (got != want) {
            available = 0;
            return WIN_HANDLE_EOF;
        }
        m_packedLeft -= got;
        m_stream.next_in = m_inBuf.data();
        m_stream.avail_in = got;
    }
    available = m_stream.avail_in;
    return WIN_OK;
}

// Only what fits in the recorded size reaches the file: a stream that inflates past it is
// counted (and so refused), but never written beyond it.
Win32Error EntryInflater::FlushOutput(File& output, std::uint32_t& written) {
    written = SFX_BUFFER_SIZE - m_stream.avail_out;
    if (written == 0) {
        return WIN_OK;
    }
    std::uint64_t room = m_recordedSize > m_inflated ? m_recordedSize - m_inflated : 0;
    auto kept = static_cast<std::uint32_t>(std::min<std::uint64_t>(written, room));
    Win32Error error = kept != 0 ? output.write(m_outBuf.data(), kept) : WIN_OK;
    m_inflated += written;
    m_stream.next_out = m_outBuf.data();
    m_stream.avail_out = SFX_BUFFER_SIZE;
    return error;
}

int EntryInflater::GetEntryPercent(std::uint32_t packedSize) const {
    auto packed = static_cast<std::int32_t>(packedSize);
    auto consumed = static_cast<std::uint32_t>(m_stream.total_in);
    if (packed == 0) {
        return 100;
    }
    if (packed > 10000000) {
        return static_cast<int>(consumed / (static_cast<std::uint32_t>(packed) / 100));
    }
    return static_cast<int>(consumed * 100 / packedSize);
}
