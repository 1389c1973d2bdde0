#include "sfx/SfxExtractor.h"

#include <algorithm>
#include <cstring>

#include "sfx/EntryName.h"

namespace {

constexpr char SFX_MAGIC[] = "!QORA_SFX!";
constexpr char SFX_VERSION[] = "1.10";
constexpr std::uint32_t SFX_RECORD_FIXED_SIZE = 16;  // offset, size, packed size, name length

std::uint32_t LittleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Reads exactly count bytes at an absolute position; a short read is a failure.
bool ReadAt(File& file, std::uint64_t position, void* buffer, std::uint32_t count) {
    std::uint32_t got = 0;
    return file.seek(static_cast<std::int64_t>(position), SeekOrigin::Begin) == WIN_OK &&
           file.read(buffer, count, got) == WIN_OK && got == count;
}

bool ReadNumberAt(File& file, std::uint64_t position, std::uint32_t& value) {
    unsigned char bytes[4];
    if (!ReadAt(file, position, bytes, sizeof(bytes))) {
        return false;
    }
    value = LittleEndian32(bytes);
    return true;
}

}  // namespace

SfxExtractor::SfxExtractor(FileSystem& files) : m_files(files) {
    m_stream.zalloc = nullptr;
    m_stream.zfree = nullptr;
    m_stream.opaque = nullptr;
    // Without a module path the directory read fails to open and says so; nothing to add here.
    if (m_files.modulePath(m_modulePath) != WIN_OK) {
        m_modulePath.clear();
    }
}

SfxExtractor::SfxExtractor(FileSystem& files, std::string modulePath)
    : m_files(files), m_modulePath(std::move(modulePath)) {
    m_stream.zalloc = nullptr;
    m_stream.zfree = nullptr;
    m_stream.opaque = nullptr;
}

SfxExtractor::~SfxExtractor() = default;

void SfxExtractor::ResetEntries() {
    for (ArchiveEntry& entry : m_entries) {
        entry.Reset();
    }
    m_entryCount = 0;
}

void SfxExtractor::AddTrailingBackslash(std::string& path) {
    if (path.empty() || path.back() != '\\') {
        path += '\\';
    }
}

int SfxExtractor::ReadDirectory(std::string archivePath) {
    ResetEntries();
    std::unique_ptr<File> archive;
    if (m_files.open(archivePath, FileMode::ReadShared, archive) != WIN_OK) {
        return SFX_ERR_OPEN;
    }
    int result = ParseDirectory(*archive);
    if (result != SFX_OK) {
        // A rejected directory leaves nothing behind that a later extraction could act on.
        ResetEntries();
    }
    return result;
}

int SfxExtractor::ParseDirectory(File& archive) {
    std::uint64_t fileLength = 0;
    if (archive.length(fileLength) != WIN_OK || fileLength < SFX_TRAILER_SIZE) {
        return SFX_ERR_SIGNATURE;
    }
    char magic[10];
    if (!ReadAt(archive, fileLength - 10, magic, sizeof(magic)) ||
        std::memcmp(magic, SFX_MAGIC, sizeof(magic)) != 0) {
        return SFX_ERR_SIGNATURE;
    }
    char version[4];
    if (!ReadAt(archive, fileLength - 14, version, sizeof(version)) ||
        std::memcmp(version, SFX_VERSION, sizeof(version)) != 0) {
        return SFX_ERR_SIGNATURE;
    }
    std::uint32_t count = 0;
    if (!ReadNumberAt(archive, fileLength - SFX_TRAILER_SIZE, count)) {
        return SFX_ERR_SIGNATURE;
    }
    if (count == 0) {
        return SFX_ERR_NO_DATA;
    }
    if (count > SFX_MAX_ENTRIES) {
        return SFX_ERR_SIGNATURE;
    }
    return ParseRecords(archive, fileLength, count);
}

// Walks the records backwards from the trailer. Every distance is checked against the file
// before it is read, every name against the traversal rules, and at the end every stream
// against the data area in front of the directory.
int SfxExtractor::ParseRecords(File& archive, std::uint64_t fileLength, std::uint32_t count) {
    std::uint64_t distance = SFX_TRAILER_SIZE;
    char name[SFX_MAX_NAME_LENGTH];
    for (int k = static_cast<int>(count) - 1; k >= 0; --k) {
        ArchiveEntry& entry = m_entries[k];
        std::uint32_t nameLength = 0;
        distance += 4;
        if (distance > fileLength || !ReadNumberAt(archive, fileLength - distance, nameLength) ||
            nameLength > SFX_MAX_NAME_LENGTH) {
            return SFX_ERR_SIGNATURE;
        }
        distance += nameLength;
        if (distance + SFX_RECORD_FIXED_SIZE - 4 > fileLength ||
            !ReadAt(archive, fileLength - distance, name, nameLength)) {
            return SFX_ERR_SIGNATURE;
        }
        // A zero byte ends the name early.
        entry.m_name.assign(name, std::find(name, name + nameLength, '\0'));
        if (!IsSafeEntryName(entry.m_name)) {
            return SFX_ERR_SIGNATURE;
        }
        distance += 12;
        if (!ReadNumberAt(archive, fileLength - distance + 8, entry.m_packedSize) ||
            !ReadNumberAt(archive, fileLength - distance + 4, entry.m_size) ||
            !ReadNumberAt(archive, fileLength - distance, entry.m_offset)) {
            return SFX_ERR_SIGNATURE;
        }
    }
    std::uint64_t dataEnd = fileLength - distance;
    for (std::uint32_t k = 0; k < count; ++k) {
        const ArchiveEntry& entry = m_entries[k];
        if (entry.m_offset >= dataEnd ||
            std::uint64_t{entry.m_offset} + entry.m_packedSize > dataEnd) {
            return SFX_ERR_SIGNATURE;
        }
    }
    m_entryCount = static_cast<int>(count);
    return SFX_OK;
}

int SfxExtractor::Extract(std::string targetDir, ExtractCallbackFn callback, void* context) {
    AddTrailingBackslash(targetDir);
    if (int result = ReadDirectory(GetModulePath()); result != SFX_OK) {
        return result;
    }
    m_callback = callback;
    m_context = context;
    std::unique_ptr<File> archive;
    if (m_files.open(GetModulePath(), FileMode::ReadShared, archive) != WIN_OK) {
        return SFX_ERR_REOPEN;
    }
    int createFailures = 0;
    int corruptEntries = 0;
    for (int index = m_entryCount - 1; index >= 0; --index) {
        if (m_callback != nullptr) {
            m_callback(EXTRACT_ENTRY_BEGIN, &m_entries[index], m_context);
        }
        int result = ExtractEntry(*archive, index, targetDir);
        if (result == SFX_OK) {
            if (m_callback != nullptr) {
                m_callback(EXTRACT_ENTRY_DONE, &m_entries[index], m_context);
            }
        } else if (result == SFX_ERR_WRITE) {
            // The archive or the disk has failed: later entries would fail the same way.
            return SFX_ERR_WRITE;
        } else if (result == SFX_ERR_CORRUPT) {
            ++corruptEntries;
        } else {
            ++createFailures;
        }
    }
    if (createFailures > 0) {
        return SFX_ERR_CREATE_OUTPUT;
    }
    return corruptEntries > 0 ? SFX_ERR_CORRUPT : SFX_OK;
}

int SfxExtractor::ExtractEntry(File& archive, int index, std::string targetDir) {
    const ArchiveEntry& entry = m_entries[index];
    std::string outputPath = targetDir + entry.m_name;
    int result = SFX_OK;
    {
        std::unique_ptr<File> output;
        if (m_files.open(outputPath, FileMode::CreateWrite, output) != WIN_OK) {
            return SFX_ERR_CREATE_OUTPUT;
        }
        result = InflateEntry(archive, *output, entry);
    }  // the output is closed before a failed one is removed
    if (result != SFX_OK) {
        m_files.removeFile(outputPath);
    }
    return result;
}

int SfxExtractor::InflateEntry(File& archive, File& output, const ArchiveEntry& entry) {
    if (archive.seek(entry.m_offset, SeekOrigin::Begin) != WIN_OK) {
        return SFX_ERR_WRITE;
    }
    m_stream.next_in = m_inBuf.data();
    m_stream.avail_in = 0;
    m_stream.next_out = m_outBuf.data();
    m_stream.avail_out = SFX_BUFFER_SIZE;
    m_currentPackedSize = entry.m_packedSize;
    // The oldest interface these streams need; every zlib 1.x accepts it.
    if (inflateInit_(&m_stream, "1.1.4", static_cast<int>(sizeof(z_stream))) != Z_OK) {
        return SFX_ERR_WRITE;
    }
    Win32Error ioError = WIN_OK;
    int status = Z_OK;
    std::uint32_t available = 0;
    while ((ioError = FillInput(archive, available)) == WIN_OK && available != 0) {
        status = inflate(&m_stream, Z_NO_FLUSH);
        std::uint32_t written = 0;
        ioError = FlushOutput(output, written);
        // A stream that inflates past its recorded size is damaged; stop before it fills the disk.
        if (ioError != WIN_OK || status != Z_OK || m_stream.total_out > entry.m_size) {
            break;
        }
        if (m_callback != nullptr) {
            int percent = GetEntryPercent();
            m_callback(EXTRACT_PROGRESS, &percent, m_context);
        }
    }
    if (ioError == WIN_OK && status == Z_OK && m_stream.total_out <= entry.m_size) {
        // The input ran out before the end of the stream: let zlib flush what it holds.
        std::uint32_t written = 0;
        do {
            status = inflate(&m_stream, Z_FINISH);
            ioError = FlushOutput(output, written);
        } while (ioError == WIN_OK && written != 0 && status == Z_OK);
    }
    bool complete = status == Z_STREAM_END && m_stream.total_out == entry.m_size;
    inflateEnd(&m_stream);
    if (ioError != WIN_OK) {
        return SFX_ERR_WRITE;
    }
    return complete ? SFX_OK : SFX_ERR_CORRUPT;
}

Win32Error SfxExtractor::FillInput(File& archive, std::uint32_t& available) {
    if (m_stream.avail_in == 0) {
        std::uint32_t got = 0;
        if (Win32Error error = archive.read(m_inBuf.data(), SFX_BUFFER_SIZE, got);
            error != WIN_OK) {
            available = 0;
            return error;
        }
        m_stream.next_in = m_inBuf.data();
        m_stream.avail_in = got;
    }
    available = m_stream.avail_in;
    return WIN_OK;
}

Win32Error SfxExtractor::FlushOutput(File& output, std::uint32_t& written) {
    written = SFX_BUFFER_SIZE - m_stream.avail_out;
    if (written == 0) {
        return WIN_OK;
    }
    Win32Error error = output.write(m_outBuf.data(), written);
    m_stream.next_out = m_outBuf.data();
    m_stream.avail_out = SFX_BUFFER_SIZE;
    return error;
}

int SfxExtractor::GetEntryPercent() const {
    auto packed = static_cast<std::int32_t>(m_currentPackedSize);
    auto consumed = static_cast<std::uint32_t>(m_stream.total_in);
    if (packed == 0) {
        return 100;
    }
    if (packed > 10000000) {
        return static_cast<int>(consumed / (static_cast<std::uint32_t>(packed) / 100));
    }
    return static_cast<int>(consumed * 100 / m_currentPackedSize);
}
