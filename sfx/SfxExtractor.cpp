#include "text/Format.h"
#include "sfx/SfxExtractor.h"

#include <string_view>
#include <cstring>

#include "sfx/EntryName.h"

namespace {

bool ReadAt(File& file, std::uint64_t position, void* buffer, std::uint32_t count) {
    return ReadExactlyAt(file, position, buffer, count) == WIN_OK;
}

bool ReadNumberAt(File& file, std::uint64_t position, std::uint32_t& value) {
    unsigned char bytes[SFX_NUMBER_LENGTH];
    if (!ReadAt(file, position, bytes, sizeof(bytes))) {
        return false;
    }
    value = SfxReadNumber(bytes);
    return true;
}

}  // namespace

int OpenArchive(FileSystem& files, const String& path, std::unique_ptr<File>& archive,
                String& fault) {
    if (files.open(path, FileMode::ReadShared, archive) != WIN_OK) {
        fault = "cannot open the file";
        return SFX_ERR_OPEN;
    }
    return SFX_OK;
}

namespace {

// The file the program started from, open since start-up: never the path again, where another
// file may stand by now. Null, with the extractor cleared, when it could not be opened.
File* OwnArchive(SfxExtractor& extractor, FileSystem& files) {
    File* archive = nullptr;
    if (files.ownImage(archive) != WIN_OK) {
        extractor.Clear();
        return nullptr;
    }
    return archive;
}

}  // namespace

int ReadOwnDirectory(SfxExtractor& extractor, FileSystem& files, String& fault) {
    File* archive = OwnArchive(extractor, files);
    if (archive == nullptr) {
        fault = "cannot open the file";
        return SFX_ERR_OPEN;
    }
    return extractor.ReadDirectory(*archive, fault);
}

int ExtractOwnArchive(SfxExtractor& extractor, FileSystem& files, const String& folder,
                      ExtractCallbackFn callback, void* context) {
    File* archive = OwnArchive(extractor, files);
    if (archive == nullptr) {
        return SFX_ERR_OPEN;
    }
    FolderTarget target(files, folder);
    return extractor.Extract(*archive, target, callback, context);
}

void SfxExtractor::Clear() {
    for (ArchiveEntry& entry : m_entries) {
        entry.Reset();
    }
    m_entryCount = 0;
    m_extent = ArchiveExtent();
    m_failedEntry.clear();
    m_failedEntryError = WIN_OK;
}

// Built in place, with no sum of temporaries.
void SfxExtractor::LabelledNumbers(String& out, std::uint32_t index, const char* text,
                                   std::initializer_list<long long> numbers) const {
    EntryLabelTo(out, static_cast<int>(index), m_entries[index]);
    AppendFormatted(out, text, numbers);
}

int SfxExtractor::ReadDirectory(File& archive) {
    String fault;
    return ReadDirectory(archive, fault);
}

int SfxExtractor::ReadDirectory(File& archive, String& fault) {
    Clear();
    fault.clear();
    int result = ParseDirectory(archive, fault);
    if (result != SFX_OK) {
        // A rejected directory leaves nothing behind that a later extraction could act on.
        Clear();
    }
    return result;
}

int SfxExtractor::ParseDirectory(File& archive, String& fault) {
    std::uint64_t fileLength = 0;
    if (archive.length(fileLength) != WIN_OK) {
        fault = "cannot read the file's length";
        return SFX_ERR_SIGNATURE;
    }
    if (int result = FindArchiveExtent(archive, fileLength, m_extent, fault); result != SFX_OK) {
        return result;
    }
    std::uint64_t end = m_extent.end;
    // The trailer in one read; its fields lie at their distances from its end.
    unsigned char trailer[SFX_TRAILER_SIZE];
    const unsigned char* trailerEnd = trailer + SFX_TRAILER_SIZE;
    if (end < SFX_TRAILER_SIZE ||
        !ReadAt(archive, end - SFX_TRAILER_SIZE, trailer, sizeof(trailer)) ||
        std::memcmp(trailerEnd - SFX_MAGIC_DISTANCE, SFX_MAGIC, SFX_MAGIC_LENGTH) != 0 ||
        std::memcmp(trailerEnd - SFX_VERSION_DISTANCE, SFX_VERSION, SFX_VERSION_LENGTH) != 0) {
        fault = "no archive trailer of version ";
        fault.append(SFX_VERSION, SFX_VERSION_LENGTH);
        AppendFormat(fault, " ends at %d", end);
        return SFX_ERR_SIGNATURE;
    }
    std::uint32_t count = SfxReadNumber(trailerEnd - SFX_COUNT_DISTANCE);
    if (count == 0) {
        fault = "the archive holds no entries";
        return SFX_ERR_NO_DATA;
    }
    if (count > SFX_MAX_ENTRIES) {
        FormatTo(fault, "%d entries, more than %d", count, SFX_MAX_ENTRIES);
        return SFX_ERR_SIGNATURE;
    }
    std::uint64_t directoryStart = 0;
    if (int result = ParseRecords(archive, end, count, directoryStart, fault); result != SFX_OK) {
        return result;
    }
    if (int result = CheckNames(count, fault); result != SFX_OK) {
        return result;
    }
    if (int result = CheckLayout(count, directoryStart, fault); result != SFX_OK) {
        return result;
    }
    m_entryCount = static_cast<int>(count);
    return SFX_OK;
}

// Walks the records backwards from the trailer; every distance is checked against the archive
// before it is read. Sets directoryStart to the position of the first record.
int SfxExtractor::ParseRecords(File& archive, std::uint64_t archiveEnd, std::uint32_t count,
                               std::uint64_t& directoryStart, String& fault) {
    std::uint64_t distance = SFX_TRAILER_SIZE;
    for (int k = static_cast<int>(count) - 1; k >= 0; --k) {
        ArchiveEntry& entry = m_entries[k];
        std::uint32_t nameLength = 0;
        distance += SFX_NUMBER_LENGTH;
        if (distance > archiveEnd || !ReadNumberAt(archive, archiveEnd - distance, nameLength)) {
            FormatTo(fault, "record of entry %d lies outside the file", k);
            return SFX_ERR_SIGNATURE;
        }
        if (nameLength > SFX_MAX_NAME_LENGTH) {
            FormatTo(fault, "entry %d has a name of %d bytes, more than %d", k, nameLength,
                     SFX_MAX_NAME_LENGTH);
            return SFX_ERR_SIGNATURE;
        }
        distance += nameLength + SFX_RECORD_NAME;
        entry.m_name.resize(nameLength);
        if (distance > archiveEnd || !ReadAt(archive, archiveEnd - distance + SFX_RECORD_NAME,
                                             entry.m_name.data(), nameLength)) {
            FormatTo(fault, "record of entry %d lies outside the file", k);
            return SFX_ERR_SIGNATURE;
        }
        // A zero byte ends the name early.
        entry.m_name.erase(entry.m_name.find('\0'));
        unsigned char numbers[SFX_RECORD_NAME];
        if (!ReadAt(archive, archiveEnd - distance, numbers, sizeof(numbers))) {
            FormatTo(fault, "cannot read the record of entry %d", k);
            return SFX_ERR_SIGNATURE;
        }
        entry.m_offset = SfxReadNumber(numbers + SFX_RECORD_OFFSET);
        entry.m_size = SfxReadNumber(numbers + SFX_RECORD_SIZE);
        entry.m_packedSize = SfxReadNumber(numbers + SFX_RECORD_PACKED_SIZE);
    }
    directoryStart = archiveEnd - distance;
    return SFX_OK;
}

// Every name must be one plain file that the installer can place, and no two alike: a second
// entry of one name would overwrite the first.
int SfxExtractor::CheckNames(std::uint32_t count, String& fault) const {
    for (std::uint32_t k = 0; k < count; ++k) {
        if (const char* problem = EntryNameFault(m_entries[k].m_name); problem != nullptr) {
            Labelled(fault, k, ": ");
            fault += problem;
            return SFX_ERR_SIGNATURE;
        }
    }
    std::size_t first = 0;
    std::size_t second = 0;
    auto nameAt = [this](std::size_t index) -> const String& { return m_entries[index].m_name; };
    if (FindDuplicateNames(count, nameAt, first, second)) {
        Labelled(fault, static_cast<std::uint32_t>(second),
                 ": the name of entry %d again, ignoring case", first);
        return SFX_ERR_SIGNATURE;
    }
    return SFX_OK;
}

// The streams tile the data area: each starts where the one before ended, and the last ends
// where the directory starts. So no byte is inflated twice, none is skipped, and every stream
// lies within the file. A certificate table inside the file must end before the first stream.
int SfxExtractor::CheckLayout(std::uint32_t count, std::uint64_t directoryStart,
                              String& fault) const {
    std::uint64_t position = m_entries[0].m_offset;
    for (std::uint32_t k = 0; k < count; ++k) {
        const ArchiveEntry& entry = m_entries[k];
        if (entry.m_offset != position) {
            Labelled(fault, k, ": stream starts at %d, not right after the previous one at %d",
                     entry.m_offset, position);
            return SFX_ERR_SIGNATURE;
        }
        position += entry.m_packedSize;
    }
    if (position != directoryStart) {
        Labelled(fault, count - 1, ": stream ends at %d, not where the directory starts at %d",
                 position, directoryStart);
        return SFX_ERR_SIGNATURE;
    }
    if (m_extent.hasCertificateTable && !m_extent.tableEndsFile &&
        m_extent.tableStart + m_extent.tableSize > m_entries[0].m_offset) {
        FormatTo(fault,
                 "the certificate table at %d of %d bytes overlaps the archive, which starts at %d",
                 m_extent.tableStart, m_extent.tableSize, m_entries[0].m_offset);
        return SFX_ERR_SIGNATURE;
    }
    return SFX_OK;
}

int SfxExtractor::Extract(File& archive, ExtractTarget& target, ExtractCallbackFn callback,
                          void* context) {
    if (int result = ReadDirectory(archive); result != SFX_OK) {
        return result;
    }
    int createFailures = 0;
    int corruptEntries = 0;
    for (int index = m_entryCount - 1; index >= 0; --index) {
        if (callback != nullptr) {
            callback(EXTRACT_ENTRY_BEGIN, &m_entries[index], context);
        }
        int result = ExtractEntry(archive, index, target, callback, context);
        if (result == SFX_OK) {
            if (callback != nullptr) {
                callback(EXTRACT_ENTRY_DONE, &m_entries[index], context);
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

int SfxExtractor::ExtractEntry(File& archive, int index, ExtractTarget& target,
                               ExtractCallbackFn callback, void* context) {
    const ArchiveEntry& entry = m_entries[index];
    int result = SFX_OK;
    {
        std::unique_ptr<File> output;
        if (Win32Error error = target.create(entry.m_name, output); error != WIN_OK) {
            NoteFailure(index, "cannot create its file", error);
            return SFX_ERR_CREATE_OUTPUT;
        }
        String fault;
        result = m_inflater.Inflate(archive, entry, *output, callback, context, fault);
        if (result != SFX_OK) {
            NoteFailure(index, fault, m_inflater.IoError());
        }
    }  // the output is closed before a failed one is removed
    if (result != SFX_OK) {
        target.remove(entry.m_name);
    }
    return result;
}

bool SfxExtractor::HasEntry(const String& name) const {
    for (int i = 0; i < m_entryCount; ++i) {
        if (SameEntryName(m_entries[i].m_name, name)) {
            return true;
        }
    }
    return false;
}

// The first failure is the one to report: later ones often only follow from it.
void SfxExtractor::NoteFailure(int index, std::string_view fault, Win32Error error) {
    if (m_failedEntry.empty()) {
        Labelled(m_failedEntry, static_cast<std::uint32_t>(index), ": ");
        m_failedEntry += fault;
        m_failedEntryError = error;
    }
}
