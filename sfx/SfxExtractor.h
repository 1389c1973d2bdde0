#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "sfx/ArchiveEntry.h"
#include "sfx/ArchiveExtent.h"
#include "sfx/ArchiveFormat.h"
#include "sfx/EntryInflater.h"
#include "sfx/ExtractCodes.h"

// Finds the archive appended to an executable, reads its directory and inflates its entries,
// last to first, into a folder. Every outcome is a result code; nothing is shown or thrown.
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
    // The running executable's archive, found through the file system's module path.
    explicit SfxExtractor(FileSystem& files);
    // The archive appended to the given file.
    SfxExtractor(FileSystem& files, std::string modulePath);
    virtual ~SfxExtractor();

    SfxExtractor(const SfxExtractor&) = delete;
    SfxExtractor& operator=(const SfxExtractor&) = delete;

    std::string GetModulePath() const { return m_modulePath; }
    int ReadDirectory(std::string archivePath);
    // The same, with the reason for a refusal in words (empty when the directory was read).
    int ReadDirectory(std::string archivePath, std::string& fault);
    int Extract(std::string targetDir, ExtractCallbackFn callback, void* context);

    const ArchiveEntry& Entry(int index) const { return m_entries[index]; }
    // True when the directory read names an entry so, as Windows compares file names.
    bool HasEntry(const std::string& name) const;
    // Where the archive that the last directory read found ends in its file.
    const ArchiveExtent& Extent() const { return m_extent; }
    // The first entry that the last extraction failed, and why, in words ("" when none failed);
    // the Win32 error of the call that failed it (0 when it was the data).
    const std::string& FailedEntry() const { return m_failedEntry; }
    Win32Error FailedEntryError() const { return m_failedEntryError; }

    int m_entryCount = 0;  // read by the owner before an extraction

private:
    int ExtractEntry(File& archive, int index, std::string targetDir);
    void NoteFailure(int index, const std::string& fault, Win32Error error);
    void ResetEntries();
    static void AddTrailingBackslash(std::string& path);
    int ParseDirectory(File& archive, std::string& fault);
    int ParseRecords(File& archive, std::uint64_t archiveEnd, std::uint32_t count,
                     std::uint64_t& directoryStart, std::string& fault);
    int CheckLayout(std::uint32_t count, std::uint64_t directoryStart, const ArchiveExtent& extent,
                    std::string& fault) const;
    int CheckNames(std::uint32_t count, std::string& fault) const;
    std::string Label(std::uint32_t index) const;

    FileSystem& m_files;
    std::string m_modulePath;
    std::array<ArchiveEntry, SFX_MAX_ENTRIES> m_entries;
    ArchiveExtent m_extent;
    std::string m_failedEntry;
    Win32Error m_failedEntryError = WIN_OK;
    ExtractCallbackFn m_callback = nullptr;
    void* m_context = nullptr;
    EntryInflater m_inflater;
};
