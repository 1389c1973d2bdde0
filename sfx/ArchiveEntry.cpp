#include "sfx/ArchiveEntry.h"

#include "text/Format.h"

// Out of line: GCC 12's link-time optimiser for mingw fails on this one when it is inline.
void EntryLabelTo(String& out, int index, const ArchiveEntry& entry) {
    FormatTo(out, "entry %d (", index);
    out += entry.m_name;
    out += ')';
}

String EntryLabel(int index, const ArchiveEntry& entry) {
    String label;
    EntryLabelTo(label, index, entry);
    return label;
}
