#pragma once

#include <cstdint>
#include "text/StringType.h"
#include <vector>

#include "platform/FileSystem.h"
#include "sfx/EntryDeflater.h"

// Writes the archive that the extractor reads: streams back to back behind whatever the output
// already holds (the setup program's image), then the directory and the trailer. Offsets are
// absolute, counted from the output's first byte. Every failure is a value with a reason; the
// caller removes a half-written output.
class ArchiveWriter {
public:
    // output is positioned at its end; imageLength is how many bytes precede the first stream.
    // An entry of at most wholeEntryLimit bytes may be held in memory to compress it.
    ArchiveWriter(File& output, std::uint64_t imageLength,
                  std::uint64_t wholeEntryLimit = SFX_WHOLE_ENTRY_LIMIT);

    // Compresses a whole input file as the next entry, as tightly as EntryDeflater can.
    // Fails when the file's length changes while it is read.
    bool AddFile(const String& name, File& input, String& error);
    // Appends a ready zlib stream whose data inflates to size bytes, as the next entry.
    bool AddStream(const String& name, std::uint32_t size, const String& stream, String& error);
    // Writes the directory and the trailer.
    bool Finish(String& error);

    // Why a set of entry names cannot form an archive the extractor accepts; empty when it can.
    static String CheckNames(const std::vector<String>& names);

private:
    struct Record {
        String name;
        std::uint32_t offset;
        std::uint32_t size;
        std::uint32_t packedSize;
    };
    bool Put(const void* bytes, std::size_t count, String& error);
    bool AddRecord(const String& name, std::uint64_t size, std::uint64_t packedSize, String& error);

    File& m_output;
    std::uint64_t m_position;
    EntryDeflater m_deflater;
    std::vector<Record> m_records;
};
