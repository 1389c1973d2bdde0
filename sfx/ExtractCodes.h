#pragma once

// Result codes of reading and extracting an archive. 1003 is never produced, nor is 1006 any
// longer: the extractor reads the one file it is given, so there is nothing to open again.
enum : int {
    SFX_ERR_OPEN = 1000,       // the archive's file cannot be opened
    SFX_ERR_SIGNATURE = 1001,  // bad magic or version, or a directory that breaks the rules
    SFX_OK = 1002,
    SFX_ERR_NO_DATA = 1004,        // the trailer counts 0 entries
    SFX_ERR_CREATE_OUTPUT = 1005,  // at least one output file could not be created
    SFX_ERR_REOPEN = 1006,         // the archive could not be opened again for extraction
    SFX_ERR_CORRUPT = 1007,        // an entry's stream is damaged or does not fit its record
    SFX_ERR_WRITE = 1008,          // a read, seek or write failed while extracting (a full disk)
    SFX_ERR_INCOMPLETE = 1009,     // a sound archive without the file the install starts by name
};

// Callback codes: a number space of their own (1002 is SFX_OK and EXTRACT_PROGRESS).
enum : int {
    EXTRACT_ENTRY_BEGIN = 1000,  // param: the ArchiveEntry about to be extracted
    EXTRACT_ENTRY_DONE = 1001,   // param: the same entry, extracted completely
    EXTRACT_PROGRESS = 1002,     // param: int*, percent of the entry's stream consumed
};

using ExtractCallbackFn = int (*)(int code, void* param, void* context);
