#include "sfx/ArchiveEntry.h"

#include "platform/Format.h"

// Out of line: GCC 12's link-time optimiser for mingw fails on this one when it is inline.
String EntryLabel(int index, const ArchiveEntry& entry) {
    String label = Format("entry %d (", index);
    label += entry.m_name;
    label += ')';
    return label;
}
