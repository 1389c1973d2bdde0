#pragma once

#include <array>
#include <cstdint>
#include "text/StringType.h"

#include <zlib.h>

#include "platform/FileSystem.h"
#include "sfx/ArchiveEntry.h"
#include "sfx/ExtractCodes.h"

enum : int {
    SFX_BUFFER_SIZE = 4096,
};

// Inflates one entry's stream: the only inflate loop of the archive code, shared by setup's
// extraction and the packer's verify. It reads the archive only within the entry's packed size,
// 4096 bytes at a time, and writes 4096-byte blocks to the output. The stream must end exactly
// at its packed size and inflate to exactly its recorded size; output is counted in 64 bits
// (zlib's own count is 32 bits on Windows and would wrap on a stream that inflates past 4 GiB).
// The zlib state and both buffers live in the object: no allocation per entry but zlib's own.
class EntryInflater {
public:
    EntryInflater() = default;
    EntryInflater(const EntryInflater&) = delete;
    EntryInflater& operator=(const EntryInflater&) = delete;

    // Inflates entry into output. After each pass that left the stream open, callback (when
    // not null) gets EXTRACT_PROGRESS with the percent of the stream consumed, and context.
    // SFX_OK; SFX_ERR_CORRUPT when the stream is damaged, ends before its packed size, does not
    // end within it or inflates to another size than recorded; SFX_ERR_WRITE when a read, seek
    // or write fails. fault says which, in words.
    int Inflate(File& archive, const ArchiveEntry& entry, File& output, ExtractCallbackFn callback,
                void* context, String& fault);
    // The Win32 error of the read, seek or write that failed the last Inflate; 0 for none.
    Win32Error IoError() const { return m_ioError; }

private:
    bool Start(const ArchiveEntry& entry);
    Win32Error InflatePasses(File& archive, File& output, const ArchiveEntry& entry,
                             ExtractCallbackFn callback, void* context, int& status);
    Win32Error FlushRest(File& output, int& status);
    Win32Error FillInput(File& archive, std::uint32_t& available);
    Win32Error FlushOutput(File& output, std::uint32_t& written);
    // The percent of a stream of packedSize bytes consumed so far.
    int GetEntryPercent(std::uint32_t packedSize) const;
    // Why a stream that did not end well failed, once the loops are done.
    int StreamFault(const ArchiveEntry& entry, int status, String& fault) const;

    z_stream m_stream{};
    std::array<unsigned char, SFX_BUFFER_SIZE> m_inBuf;
    std::array<unsigned char, SFX_BUFFER_SIZE> m_outBuf;
    std::uint32_t m_packedLeft = 0;    // bytes of the stream not read yet
    std::uint64_t m_recordedSize = 0;  // the most that may be written
    std::uint64_t m_inflated = 0;      // bytes written so far
    Win32Error m_ioError = WIN_OK;
};
