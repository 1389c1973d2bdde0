#include "platform/WindowsPaths.h"

#include <algorithm>
#include <cctype>

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

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
                   (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

void SplitWindowsPath(const std::string& path, std::string& folder, std::string& name) {
    size_t last = path.find_last_of("\\/");
    if (last == std::string::npos) {
        folder.clear();
        name = path;
        return;
    }
    folder = path.substr(0, last);
    name = path.substr(last + 1);
}

std::vector<std::string> WindowsPathComponents(const std::string& path, std::string& drive) {
    std::vector<std::string> components;
    size_t start = 0;
    drive.clear();
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 2);
        start = 2;
    }
    std::string current;
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

std::string TrimSeparators(std::string path) {
    while (path.size() > 3 && IsPathSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}
