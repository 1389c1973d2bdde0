// The string table as the C++ reads it, from the one list the resource script expands too.
#pragma once

#include "res/resource.h"

// The text of a string table entry, as LoadString finds it in the executable; null when the
// table has no such entry.
constexpr const char* StringTableText(int id) {
    switch (id) {
#define ZIL_STRING_TABLE_CASE(entryId, text) \
    case entryId:                            \
        return text;
        ZIL_STRING_TABLE(ZIL_STRING_TABLE_CASE)
#undef ZIL_STRING_TABLE_CASE
        default:
            return nullptr;
    }
}
