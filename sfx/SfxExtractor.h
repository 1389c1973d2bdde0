#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include <zlib.h>

#include "platform/FileSystem.h"
#include "sfx/ArchiveEntry.h"

// Result codes of ReadDirectory, Extract and ExtractEntry. 1003 is never produced.
enum : int {
    SFX_ERR_OPEN = 1000,       // the archive cannot be opened for the directory read
    SFX_ERR_SIGNATURE = 1001,  // bad magic or version, or a directory that does not fit the file
    SFX_OK = 1002,
    SFX_ERR_NO_DATA = 1004,        // the trailer counts 0 entries
    SFX_ERR_CREATE_OUTPUT = 1005,  // at least one output file could not be created
    SFX_ERR_REOPEN = 1006,         // the archive could not be opened again for extraction
    SFX_ERR_CORRUPT = 1007,        // an entry's stream is damaged or inflates to the wrong size
    SFX_ERR_WRITE = 1008,          // a read, seek or write failed while extracting (a full disk)
};

// Callback codes: a number space of their own (1002 is SFX_OK and EXTRACT_PROGRESS).
enum : int {
    EXTRACT_ENTRY_BEGIN = 1000,  // param: the ArchiveEntry about to be extracted
    EXTRACT_ENTRY_DONE = 1001,   // param: the same entry, extracted completely
    EXTRACT_PROGRESS = 1002,     // param: int*, percent of the entry's stream consumed
};

enum : int {
    SFX_MAX_ENTRIES = 256,
    SFX_MAX_NAME_LENGTH = 1000,
    SFX_BUFFER_SIZE = 4096,
    SFX_TRAILER_SIZE = 18,
};

using ExtractCallbackFn = int (*)(int code, void* param, void* context);

// Finds the archive appended to an executable, reads its directory and inflates its entries,
// last to first, into a folder. Every outcome is a result code; nothing is shown or thrown.
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
    int Extract(std::string targetDir, ExtractCallbackFn callback, void* context);

    const ArchiveEntry& Entry(int index) const { return m_entries[index]; }

    int m_entryCount = 0;  // read by the owner before an extraction

private:
    int ExtractEntry(File& archive, int index, std::string targetDir);
    void ResetEntries();
    static void AddTrailingBackslash(std::string& path);
    Win32Error FillInput(File& archive, std::uint32_t& available);
    Win32Error FlushOutput(File& output, std::uint32_t& written);
    int GetEntryPercent() const;
    int ParseDirectory(File& archive);
    int ParseRecords(File& archive, std::uint64_t fileLength, std::uint32_t count);
    // Inflates the open entry into output: SFX_OK, SFX_ERR_CORRUPT or SFX_ERR_WRITE.
    int InflateEntry(File& archive, File& output, const ArchiveEntry& entry);

    FileSystem& m_files;
    z_stream m_stream{};
    std::string m_modulePath;
    std::array<ArchiveEntry, SFX_MAX_ENTRIES> m_entries;
    ExtractCallbackFn m_callback = nullptr;
    void* m_context = nullptr;
    std::array<unsigned char, SFX_BUFFER_SIZE> m_inBuf{};
    std::array<unsigned char, SFX_BUFFER_SIZE> m_outBuf{};
    std::uint32_t m_currentPackedSize = 0;
};
