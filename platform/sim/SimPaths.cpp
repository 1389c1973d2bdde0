#include "platform/sim/SimPaths.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include <dirent.h>
#include <sys/stat.h>

#include "platform/sim/SimMachine.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

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

// The existing entry of a host folder whose name equals the component without case; an exact
// spelling wins, otherwise the first in byte order so that the choice never depends on the
// order of the folder listing.
std::string MatchExisting(const std::string& folder, const std::string& component) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return component;
    }
    std::string best;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == component) {
            best = name;
            break;
        }
        if (EqualsIgnoringCase(name, component) && (best.empty() || name < best)) {
            best = name;
        }
    }
    ::closedir(dir);
    return best.empty() ? component : best;
}

// The deepest existing ancestor of a host path, resolved through links.
std::string ResolveExistingPrefix(std::string path) {
    while (true) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0) {
            return "/";
        }
        path.resize(slash);
    }
}

bool IsBelow(const std::string& path, const std::string& root) {
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

}  // namespace

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
        if (i == path.size() || IsSeparator(path[i])) {
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

Win32Error SimMachine::hostPath(const std::string& windowsPath, std::string& host) const {
    std::string drive;
    std::vector<std::string> components = WindowsPathComponents(windowsPath, drive);
    bool absolute =
        windowsPath.size() == 2 || (windowsPath.size() > 2 && IsSeparator(windowsPath[2]));
    if (drive.size() != 2 || !absolute) {
        return WIN_ACCESS_DENIED;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
    if (letter != 'C' && letter != 'D' && letter != 'E') {
        return WIN_ACCESS_DENIED;
    }
    std::string path = root() + "/" + letter;
    for (const std::string& component : components) {
        if (component == ".") {
            continue;
        }
        if (component == "..") {
            return WIN_ACCESS_DENIED;
        }
        path += "/" + MatchExisting(path, component);
    }
    // A link inside the machine must not lead a later component out of it; the last component
    // itself is left alone, so that a link can still be removed as a link.
    std::string machine = ResolveExistingPrefix(root());
    size_t slash = path.find_last_of('/');
    if (!IsBelow(ResolveExistingPrefix(path.substr(0, slash)), machine)) {
        return WIN_ACCESS_DENIED;
    }
    host = path;
    return WIN_OK;
}
