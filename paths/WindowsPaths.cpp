#include "paths/WindowsPaths.h"

#include <algorithm>

namespace {

// Classic backtracking glob: remembers the last '*' and retries from there on a mismatch,
// which keeps it linear in practice and free of recursion.
bool MatchesGlob(std::string_view pattern, std::string_view name) {
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsDrivePath(std::string_view text) {
    if (text.size() < 3 || text[1] != ':' || !IsPathSeparator(text[2])) {
        return false;
    }
    char drive = text[0];
    return (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
}

bool HasWildcards(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    if (MatchesGlob(pattern, name)) {
        return true;
    }
    // The shell treats a final ".*" as "any extension, or none".
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos) {
        return MatchesGlob(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

// Windows folds the case of a name in Unicode, after the ANSI code page has turned its bytes into
// characters: in Windows-1252 the accented letters fold 0x20 apart (but for the signs 0xF7 and
// 0xD7, and 0xDF, which has no capital), and four letters live elsewhere.
char FoldCase(char c) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7)) {
        return static_cast<char>(byte - 0x20);
    }
    switch (byte) {
        case 0x9A:  // š
        case 0x9C:  // œ
        case 0x9E:  // ž
            return static_cast<char>(byte - 0x10);
        case 0xFF:  // ÿ
            return static_cast<char>(0x9F);
        default:
            return c;
    }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

void SplitWindowsPath(const String& path, String& folder, String& name) {
    size_t last = path.find_last_of("\\/");
    if (last == String::npos) {
        folder.clear();
        name = path;
        return;
    }
    folder = path.substr(0, last);
    name = path.substr(last + 1);
}

std::vector<String> WindowsPathComponents(const String& path, String& drive) {
    std::vector<String> components;
    size_t start = 0;
    drive.clear();
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 2);
        start = 2;
    }
    String current;
    for (size_t i = start; i <= path.size(); ++i) {
        if (i == path.size() || IsPathSeparator(path[i])) {
            if (!current.empty()) {
                components.push_back(current);
            }
            current.clear();
        } else {
            current += path[i];
        }
    }
    return components;
}

String BaseName(String path) {
    while (path.size() > 1 && IsPathSeparator(path.back())) {
        path.pop_back();
    }
    std::size_t separator = path.find_last_of("\\/");
    return separator == String::npos ? path : path.substr(separator + 1);
}

String NameWithoutExtension(const String& path) {
    String name = BaseName(path);
    std::size_t dot = name.rfind('.');
    return dot == String::npos || dot == 0 ? name : name.substr(0, dot);
}

String TrimSeparators(String path) {
    while (path.size() > 3 && IsPathSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

String QuoteArgument(std::string_view argument) {
    String quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') {
                quoted.append(backslashes + 1, '\\');
            }
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    quoted += '"';
    return quoted;
}
