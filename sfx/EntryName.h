#pragma once

#include <string>

// True when an archive entry's name is a plain file name that stays inside the target folder
// on Windows: not empty, no separator or drive colon, not "." or "..", no character that
// Windows refuses in names (control characters, < > " | ? *), no trailing dot or space (Windows
// strips them, so "a." would land on "a"), and no device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with or without an extension). Both the reader and the writer of archives ask this.
// The empty name is allowed here: it is a file that cannot be created, not an escape.
bool IsSafeEntryName(const std::string& name);
