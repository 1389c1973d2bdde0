#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include "text/StringType.h"

#include "platform/FileSystem.h"
#include "sfx/ArchiveEntry.h"
#include "sfx/ArchiveExtent.h"
#include "sfx/ArchiveFormat.h"
#include "sfx/EntryInflater.h"
#include "sfx/ExtractCodes.h"
#include "sfx/ExtractTarget.h"

// Finds the archive appended to an executable, reads its directory and inflates its entries,
// last to first, into a target. It reads only the file it is given, by position; it writes only
// through the target. Every outcome is a result code; nothing is shown or thrown.
//
// The directory read refuses (SFX_ERR_SIGNATURE) whatever the directory and the file's length
// alone show to be wrong, before anything is written: a trailer, record or stream outside the
// archive, more than 256 entries, a name longer than 1,000 bytes, streams that do not follow
// one another without gap or overlap from the first to the directory, a certificate table that
// lies, a name that is empty, unsafe or the icon folder's, two names alike ignoring case. What
// only the stream's bytes show (damage, an end before or after the packed size, another size
// than recorded) fails that entry while it is extracted (SFX_ERR_CORRUPT).
class SfxExtractor {
public:
    SfxExtractor() = default;
    SfxExtractor(const SfxExtractor&) = delete;
    SfxExtractor& operator=(const SfxExtractor&) = delete;

    int ReadDirectory(File& archive);
    // The same, with the reason for a refusal in words (empty when the directory was read).
    int ReadDirectory(File& archive, String& fault);
    // Reads the directory again (the file is the one to trust, not an earlier read), then
    // inflates every entry into the target.
    int Extract(File& archive, ExtractTarget& target, ExtractCallbackFn callback, void* context);
    // Forgets the last directory read and extraction, as a directory that cannot be read does.
    void Clear();

    const ArchiveEntry& Entry(int index) const { return m_entries[index]; }
    // True when the directory read names an entry so, as Windows compares file names.
    bool HasEntry(const String& name) const;
    // Where the archive that the last directory read found ends in its file.
    const ArchiveExtent& Extent() const { return m_extent; }
    // The first entry that the last extraction failed, and why, in words ("" when none failed);
    // the Win32 error of the call that failed it (0 when it was the data).
    const String& FailedEntry() const { return m_failedEntry; }
    Win32Error FailedEntryError() const { return m_failedEntryError; }

    int m_entryCount = 0;  // read by the owner before an extraction

private:
    int ExtractEntry(File& archive, int index, ExtractTarget& target, ExtractCallbackFn callback,
                     void* context);
    void NoteFailure(int index, std::string_view fault, Win32Error error);
    int ParseDirectory(File& archive, String& fault);
    int ParseRecords(File& archive, std::uint64_t archiveEnd, std::uint32_t count,
                     std::uint64_t& directoryStart, String& fault);
    int CheckLayout(std::uint32_t count, std::uint64_t directoryStart, String& fault) const;
    int CheckNames(std::uint32_t count, String& fault) const;
    // Sets `out` to the entry's label and the text, whose "%d" take the numbers.
    template <class... Numbers>
    void Labelled(String& out, std::uint32_t index, const char* text, Numbers... numbers) const {
        LabelledNumbers(out, index, text, {static_cast<long long>(numbers)...});
    }
    void LabelledNumbers(String& out, std::uint32_t index, const char* text,
                         std::initializer_list<long long> numbers) const;

    std::array<ArchiveEntry, SFX_MAX_ENTRIES> m_entries;
    ArchiveExtent m_extent;
    String m_failedEntry;
    Win32Error m_failedEntryError = WIN_OK;
    EntryInflater m_inflater;
};

// Opens the file at path for the reader: SFX_OK, or SFX_ERR_OPEN with the reason in words.
int OpenArchive(FileSystem& files, const String& path, std::unique_ptr<File>& archive,
                String& fault);
// The running program's own archive: its directory read, and its extraction into a folder, both
// through the one open file of FileSystem::ownImage. A file that could not be opened fails
// either with SFX_ERR_OPEN and leaves no directory behind.
int ReadOwnDirectory(SfxExtractor& extractor, FileSystem& files, String& fault);
int ExtractOwnArchive(SfxExtractor& extractor, FileSystem& files, const String& folder,
                      ExtractCallbackFn callback, void* context);
