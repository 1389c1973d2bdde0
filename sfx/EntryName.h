#pragma once

#include <string>
#include <vector>

// The folder the installer makes inside the program folder for the product's images. An entry
// of that name would meet the folder when the files are moved into place, so none may have it.
inline constexpr char SFX_ICON_FOLDER_NAME[] = "ICONs";

// Why an entry's name cannot be extracted and moved into place as one plain file on Windows,
// in words; empty when it can. Refused: the empty name; "." and ".."; a separator, drive colon,
// control character or any of < > " | ? *; a trailing dot or space (Windows drops them, so
// "a." would land on "a"); a device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT
// followed by a digit 0-9 or one of the superscript digits of the ANSI code page, bytes B9,
// B2 and B3; with or without an extension); the icon folder's name. Both the reader and the
// writer of archives ask this.
std::string EntryNameFault(const std::string& name);

inline bool IsSafeEntryName(const std::string& name) {
    return EntryNameFault(name).empty();
}

// True when Windows takes the two names for one file: they are equal ignoring the case of
// ASCII letters.
bool SameEntryName(const std::string& a, const std::string& b);

// The first pair of names that Windows would take for one file, as indexes into names; false
// when the names are unique.
bool FindDuplicateEntryNames(const std::vector<std::string>& names, std::size_t& first,
                             std::size_t& second);
