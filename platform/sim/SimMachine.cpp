#include "platform/sim/SimMachine.h"

#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/WindowsPaths.h"

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

void SimMachine::journal(const std::string& kind, const std::string& detail) {
    std::string line = kind + ": " + detail + "\n";
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

Win32Error SimMachine::hostPath(const std::string& windowsPath, std::string& host) const {
    std::string drive;
    std::vector<std::string> components = WindowsPathComponents(windowsPath, drive);
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
    for (const std::string& component : components) {
        if (component == ".") {
            continue;
        }
        if (component == "..") {
            return WIN_ACCESS_DENIED;
        }
        // In steps: GCC 12 at -O3 takes `"/" + name` for an overlapping copy (-Wrestrict).
        std::string name = MatchExisting(path, component);
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

bool SimMachine::isFile(const std::string& windowsPath) const {
    std::string host;
    struct stat info {};
    return hostPath(windowsPath, host) == WIN_OK && ::stat(host.c_str(), &info) == 0 &&
           S_ISREG(info.st_mode);
}
