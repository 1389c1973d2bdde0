#include "platform/sim/SimMachine.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "paths/WindowsPaths.h"

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

std::uint64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The names of a host folder, sorted, without "." and "..".
std::vector<std::string> SortedNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool FitsEightDotThree(const std::string& name) {
    size_t dot = name.find('.');
    if (name.find(' ') != std::string::npos ||
        (dot != std::string::npos && name.find('.', dot + 1) != std::string::npos)) {
        return false;
    }
    size_t base = dot == std::string::npos ? name.size() : dot;
    return base >= 1 && base <= 8 && (dot == std::string::npos || name.size() - dot - 1 <= 3);
}

// Windows gives a name that does not fit 8.3 a second, short one ("Program Files (x86)" is also
// PROGRA~2 beside PROGRA~1, "Program Files"): up to six characters of the upper-cased name
// without blanks and inner dots, '~', its number among the names that share those characters,
// and up to three of its extension. Windows numbers in the order the names were made; the
// machine numbers in name order.
std::string ShortNameMatch(const std::string& folder, const std::string& component) {
    if (component.find('~') == std::string::npos) {
        return "";
    }
    std::map<std::string, int> taken;
    for (const std::string& name : SortedNames(folder)) {
        if (FitsEightDotThree(name)) {
            continue;
        }
        std::string upper;
        for (char c : name) {
            if (c != ' ') {
                upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        size_t dot = upper.rfind('.');
        std::string extension = dot == std::string::npos ? "" : "." + upper.substr(dot + 1, 3);
        std::string base = upper.substr(0, dot);
        base.erase(std::remove(base.begin(), base.end(), '.'), base.end());
        base.resize(std::min<size_t>(base.size(), 6));
        std::string shortName = base + "~" + std::to_string(++taken[base + extension]) + extension;
        if (EqualsIgnoringCase(shortName, component)) {
            return name;
        }
    }
    return "";
}

// The existing entry of a host folder whose name equals the component without case; an exact
// spelling wins, otherwise the first in byte order so that the choice never depends on the
// order of the folder listing; then a short name.
std::string MatchExisting(const std::string& folder, const std::string& component) {
    std::string best;
    for (const std::string& name : SortedNames(folder)) {
        if (name == component) {
            return name;
        }
        if (best.empty() && EqualsIgnoringCase(name, component)) {
            best = name;
        }
    }
    if (best.empty()) {
        best = ShortNameMatch(folder, component);
    }
    return best.empty() ? component : best;
}

// Windows drops a name's trailing dots and blanks ("ZIL_Setup.exe." is "ZIL_Setup.exe").
std::string WithoutTrailingDots(const std::string& component) {
    size_t end = component.find_last_not_of(". ");
    return end == std::string::npos ? component : component.substr(0, end + 1);
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

bool SimConfig::fromEnvironment(SimConfig& config, std::string& error) {
    config = SimConfig();
    if (std::string root = environment("ZIL_MACHINE"); !root.empty()) {
        config.root = root;
    }
    config.virtualClock = environment("ZIL_CLOCK") == "virtual";
    std::string ui = environment("ZIL_UI");
    if (ui.empty()) {
        config.ui = isatty(STDOUT_FILENO) ? SimUi::Text : SimUi::None;
    } else {
        config.ui = ui == "text" ? SimUi::Text : SimUi::None;
    }
    config.input = splitList(environment("ZIL_INPUT"));
    std::string desktop = environment("ZIL_DESKTOP");
    if (!desktop.empty() && desktop != "visible" && desktop != "hidden") {
        error = "ZIL_DESKTOP: \"" + desktop + "\" is neither visible nor hidden";
        return false;
    }
    config.desktopHidden = desktop == "hidden";
    return ParseSimFaults(environment("ZIL_FAULTS"), config.faults, error);
}

SimMachine::SimMachine(SimConfig config)
    : m_config(std::move(config)), m_realStart(steadyMilliseconds()) {}

std::string SimMachine::modulePath() const {
    if (!m_config.modulePath.empty()) {
        return m_config.modulePath;
    }
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

void SimMachine::journal(std::string_view kind, std::string_view detail) {
    std::string line(kind);
    line += ": ";
    line += detail;
    line += '\n';
    // O_APPEND plus an exclusive lock keeps lines whole when two processes write at once.
    int fd = ::open(journalPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    ::flock(fd, LOCK_EX);
    ssize_t written = ::write(fd, line.data(), line.size());
    (void)written;
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

std::vector<std::string> SimMachine::journalLines() const {
    std::vector<std::string> lines;
    std::ifstream in(journalPath());
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

void SimMachine::sleep(std::uint32_t milliseconds) {
    journal("sleep", std::to_string(milliseconds));
    if (m_config.virtualClock) {
        m_virtualNow += milliseconds;
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

std::uint64_t SimMachine::now() const {
    return m_config.virtualClock ? m_virtualNow : steadyMilliseconds() - m_realStart;
}

Win32Error SimMachine::hostPath(std::string_view windowsPath, std::string& host) const {
    String drive;
    std::vector<String> components = WindowsPathComponents(String(windowsPath), drive);
    bool absolute =
        windowsPath.size() == 2 || (windowsPath.size() > 2 && IsPathSeparator(windowsPath[2]));
    if (drive.size() != 2 || !absolute) {
        return WIN_ACCESS_DENIED;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
    if (letter != 'C' && letter != 'D' && letter != 'E') {
        return WIN_ACCESS_DENIED;
    }
    std::string path = root() + "/" + letter;
    for (const String& componentText : components) {
        std::string component(componentText);
        if (component == ".") {
            continue;
        }
        if (component == "..") {
            return WIN_ACCESS_DENIED;
        }
        // In steps: GCC 12 at -O3 takes `"/" + name` for an overlapping copy (-Wrestrict).
        std::string name = MatchExisting(path, WithoutTrailingDots(component));
        path += '/';
        path += name;
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

bool SimMachine::isFile(std::string_view windowsPath) const {
    std::string host;
    struct stat info {};
    return hostPath(windowsPath, host) == WIN_OK && ::stat(host.c_str(), &info) == 0 &&
           S_ISREG(info.st_mode);
}
