#pragma once

#include <cstdint>
#include "text/StringType.h"

// One directory entry of the appended archive, as held in memory.
class ArchiveEntry {
public:
    String m_name;
    std::uint32_t m_size = 0;        // inflated length; checked at the end of the entry
    std::uint32_t m_packedSize = 0;  // stream length; the denominator of progress
    std::uint32_t m_offset = 0;      // absolute position of the stream in the file

    void Reset() {
        m_name.clear();
        m_size = 0;
    }
};

// How reports name an entry: "entry 3 (logo.bmp)".
String EntryLabel(int index, const ArchiveEntry& entry);
// The same label written into `out`, replacing what it held.
void EntryLabelTo(String& out, int index, const ArchiveEntry& entry);
