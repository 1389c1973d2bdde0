#pragma once

#include "text/StringType.h"
#include <vector>

#include "platform/FileSystem.h"
#include "sfx/ArchiveExtent.h"

// What verifying an archive found.
struct ArchiveVerdict {
    // The code setup's extraction of this file into a writable folder would end with: SFX_OK,
    // SFX_ERR_SIGNATURE, SFX_ERR_NO_DATA, SFX_ERR_CORRUPT or SFX_ERR_WRITE.
    int result = 0;
    int entryCount = 0;
    // The directory names the file that the install starts by name; without it the install
    // refuses the archive (SFX_ERR_INCOMPLETE) before it extracts or removes anything.
    bool installable = false;
    ArchiveExtent extent;        // where the archive ends, and the certificate table
    std::vector<String> faults;  // one line per fault, in words
};

// Checks an archive exactly as the setup program reads it, writing nothing: the directory with
// the extractor's own reader, then every stream, last to first as setup extracts them, with the
// extractor's own inflater into a sink that keeps nothing. Setup and this check cannot differ.
class ArchiveVerifier {
public:
    static ArchiveVerdict Verify(File& archive);
};
