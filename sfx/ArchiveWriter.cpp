#include "sfx/ArchiveWriter.h"

#include "sfx/ArchiveFormat.h"
#include "sfx/EntryName.h"

namespace {

// Every stream of the archive starts 0x78 0x9C, as readers elsewhere may check: the compression
// level in the header is informative only (RFC 1950), so the strongest compressors' streams keep
// their data and say "default level"; the check bits are made to hold again.
unsigned char StandardStreamFlags(unsigned char cmf, unsigned char flg) {
    constexpr unsigned char DEFAULT_LEVEL = 2 << 6;
    constexpr unsigned char PRESET_DICTIONARY = 1 << 5;
    unsigned flags = DEFAULT_LEVEL | (flg & PRESET_DICTIONARY);
    unsigned remainder = (static_cast<unsigned>(cmf) * 256 + flags) % 31;
    return static_cast<unsigned char>(flags + (remainder == 0 ? 0 : 31 - remainder));
}

constexpr std::uint64_t ARCHIVE_LIMIT = 0xFFFFFFFFull;  // offsets and sizes are 32-bit

}  // namespace

ArchiveWriter::ArchiveWriter(File& output, std::uint64_t imageLength, std::uint64_t wholeEntryLimit)
    : m_output(output), m_position(imageLength), m_deflater(wholeEntryLimit) {}

bool ArchiveWriter::Put(const void* bytes, std::size_t count, String& error) {
    if (count == 0) {
        return true;
    }
    if (Win32Error written = m_output.write(bytes, static_cast<std::uint32_t>(count));
        written != WIN_OK) {
        error = "cannot write the archive (Windows error " + ToString(written) + ")";
        return false;
    }
    m_position += count;
    return true;
}

bool ArchiveWriter::AddRecord(const String& name, std::uint64_t size, std::uint64_t packedSize,
                              String& error) {
    std::uint64_t offset = m_position - packedSize;
    if (size > ARCHIVE_LIMIT || m_position > ARCHIVE_LIMIT) {
        error = name + ": the archive would pass 4 GiB, beyond its 32-bit offsets";
        return false;
    }
    m_records.push_back({name, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(size),
                         static_cast<std::uint32_t>(packedSize)});
    return true;
}

bool ArchiveWriter::AddFile(const String& name, File& input, String& error) {
    std::uint64_t start = m_position;
    std::uint64_t before = 0;
    if (Win32Error measured = input.length(before); measured != WIN_OK) {
        error = name + ": cannot read its length (Windows error " + ToString(measured) + ")";
        return false;
    }
    std::uint64_t size = 0;
    // The stream's two header bytes, the second rewritten, then the rest as it comes.
    unsigned char header[2] = {};
    std::size_t headerBytes = 0;
    auto sink = [&](const unsigned char* bytes, std::size_t count, String& why) {
        while (headerBytes < 2 && count > 0) {
            header[headerBytes++] = *bytes++;
            --count;
            if (headerBytes == 2) {
                header[1] = StandardStreamFlags(header[0], header[1]);
                if (!Put(header, 2, why)) {
                    return false;
                }
            }
        }
        return count == 0 || Put(bytes, count, why);
    };
    if (!m_deflater.Deflate(input, before, sink, size, error)) {
        error = name + ": " + error;
        return false;
    }
    // A file written to while it is packed would be recorded as neither its old nor its new self.
    std::uint64_t after = 0;
    if (input.length(after) != WIN_OK || before != size || after != size) {
        error = name + ": the file changed size while it was packed (" + ToString(before) +
                " bytes, " + ToString(size) + " read, " + ToString(after) + " after)";
        return false;
    }
    return AddRecord(name, size, m_position - start, error);
}

bool ArchiveWriter::AddStream(const String& name, std::uint32_t size, const String& stream,
                              String& error) {
    return Put(stream.data(), stream.size(), error) && AddRecord(name, size, stream.size(), error);
}

bool ArchiveWriter::Finish(String& error) {
    String tail;
    for (const Record& record : m_records) {
        SfxAppendNumber(tail, record.offset);
        SfxAppendNumber(tail, record.size);
        SfxAppendNumber(tail, record.packedSize);
        tail += record.name;
        SfxAppendNumber(tail, static_cast<std::uint32_t>(record.name.size()));
    }
    SfxAppendNumber(tail, static_cast<std::uint32_t>(m_records.size()));
    tail += SfxTrailerTail();
    return Put(tail.data(), tail.size(), error);
}

String ArchiveWriter::CheckNames(const std::vector<String>& names) {
    if (names.empty()) {
        return "no entries: an archive needs at least one file";
    }
    if (names.size() > SFX_MAX_ENTRIES) {
        return ToString(names.size()) + " entries: an archive holds at most " +
               ToString(SFX_MAX_ENTRIES);
    }
    for (const String& name : names) {
        if (name.size() > SFX_MAX_NAME_LENGTH) {
            return "name longer than " + ToString(SFX_MAX_NAME_LENGTH) + " bytes: " + name;
        }
        // The reader would end the name at the zero byte: another name than the file's.
        if (name.find('\0') != String::npos) {
            return "name holding a zero byte: " + name;
        }
        if (const char* fault = EntryNameFault(name); fault != nullptr) {
            return "\"" + name + "\": " + fault;
        }
    }
    std::size_t first = 0;
    std::size_t second = 0;
    if (FindDuplicateEntryNames(names, first, second)) {
        return "two entries named alike, ignoring case: " + names[first] + " and " + names[second];
    }
    return "";
}
