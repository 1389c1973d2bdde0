#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>
#include "text/StringType.h"

#include "setup/ProductPaths.h"

// Windows' limit on a path through its ANSI calls: MAX_PATH less the terminating NUL.
inline constexpr std::size_t SFX_MAX_PATH = 259;
// The longest name an entry may have: its path in the deepest folder setup puts it in stays within
// the limit (the separator counted).
inline constexpr std::size_t SFX_MAX_TARGET_NAME =
    SFX_MAX_PATH - 1 -
    std::max({sizeof(SETUP_TEMP_DIR), SETUP_PROGRAM_PATH.size(), SETUP_ICON_PATH.size(),
              SETUP_SET_ASIDE_ICON_PATH.size(), SETUP_RENAMED_ICON_PATH_SIZE}) +
    1;

// Folders the installer makes: an entry of such a name would meet the folder, so none may have
// one.
inline constexpr const char* SFX_RESERVED_NAMES[] = {
    SETUP_ICON_FOLDER_NAME, SETUP_SET_ASIDE_FOLDER_NAME, SETUP_RETIRED_FOLDER_NAME};

// Why an entry's name cannot be extracted and moved into place as one plain file on Windows,
// in words; null when it can. Refused: the empty name; "." and ".."; a separator, drive colon,
// control character or any of < > " | ? *; a trailing dot or space (Windows drops them, so
// "a." would land on "a"); a device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT
// followed by a digit 0-9 or one of the superscript digits of the ANSI code page, bytes B9,
// B2 and B3; with or without an extension); a folder the installer makes, or the setup program
// it keeps in the program folder (the entry would overwrite it); a name too long for
// its path in the deepest target folder to stay within Windows' limit. Both the reader and the
// writer of archives ask this.
const char* EntryNameFault(const String& name);

inline bool IsSafeEntryName(const String& name) {
    return EntryNameFault(name) == nullptr;
}

// True when Windows takes the two names for one file: they are equal ignoring case, for the
// letters of the ANSI code page (Windows-1252: ASCII, the accented Latin letters, and the pairs
// Š/š, Œ/œ, Ž/ž, Ÿ/ÿ) alike.
bool SameEntryName(std::string_view a, std::string_view b);

// The first pair of names that Windows would take for one file, as indexes; false when the
// count names that nameAt(index) gives are unique. At most 256 names: comparing every pair is
// quick and needs nothing allocated. The pair found is the first whose later name repeats an
// earlier one.
template <class NameAt>
bool FindDuplicateNames(std::size_t count, NameAt nameAt, std::size_t& first, std::size_t& second) {
    for (second = 1; second < count; ++second) {
        for (first = 0; first < second; ++first) {
            if (SameEntryName(nameAt(first), nameAt(second))) {
                return true;
            }
        }
    }
    return false;
}

inline bool FindDuplicateEntryNames(const std::vector<String>& names, std::size_t& first,
                                    std::size_t& second) {
    return FindDuplicateNames(
        names.size(), [&names](std::size_t index) -> const String& { return names[index]; }, first,
        second);
}
