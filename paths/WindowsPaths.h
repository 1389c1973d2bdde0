#pragma once

#include "text/StringType.h"
#include <string_view>
#include <vector>

// Windows path rules as pure functions, for the file layers that do not get them from Windows
// itself (plain host files, the simulated machine): separators, case-insensitive comparison and
// the shell's wildcard matching. No file access.

// '\' or '/': Windows takes either.
bool IsPathSeparator(char c);

// True for a path from a drive's root ("C:\a", "d:/b"): a text that names a file or folder on
// the machine, as against one Windows would take relative to the current folder.
bool IsDrivePath(std::string_view text);

// True when the text holds '*' or '?'.
bool HasWildcards(std::string_view text);

// Windows wildcard matching of one file name: '*' any run of characters, '?' any one
// character, letters compared without case. A pattern ending in ".*" also matches names
// without a dot, so "*.*" matches every name.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// Equality as Windows compares names: without the case of the ANSI code page's letters
// (Windows-1252: ASCII and the accented Latin letters alike).
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// A character as Windows compares names: the capital of a letter of the ANSI code page
// (Windows-1252), anything else as it is.
char FoldCase(char c);

// Splits a Windows path at its last '\' or '/': "C:\a\b*.x" gives "C:\a" and "b*.x".
// A path without a separator gives an empty folder. A trailing separator gives an empty name.
void SplitWindowsPath(const String& path, String& folder, String& name);

// The components of a path below its drive: "C:\a\\b\" gives {"a", "b"}. The drive ("C:")
// goes to drive; empty components are dropped.
std::vector<String> WindowsPathComponents(const String& path, String& drive);

// The last component of a path, less trailing separators: "C:\a\b.exe" and "dir/b.exe/" give
// "b.exe".
String BaseName(String path);
// The last component without its extension: a program's name as its message boxes show it.
String NameWithoutExtension(const String& path);

// The path without trailing separators, but a drive's root ("C:\") keeps its own.
String TrimSeparators(String path);

// The argument in quotes as a Windows program's start-up splits its command line (the C
// runtime's rule, CommandLineToArgvW's too): it arrives whole, blanks and all. A backslash is
// doubled only where a quote follows it.
String QuoteArgument(std::string_view argument);
