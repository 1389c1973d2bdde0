#include "platform/sim/SimMachine.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

}  // namespace

SimConfig SimConfig::fromEnvironment() {
    SimConfig config;
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
    return config;
}

SimMachine::SimMachine(SimConfig config)
    : m_config(std::move(config)),
      m_realStart(steadyMilliseconds()),
      m_callCounts(static_cast<size_t>(SimOp::Count), 0) {}

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

void SimMachine::failCall(SimOp op, int nth, Win32Error error, bool fromThenOn) {
    m_faults.emplace(op, Fault{nth, error, fromThenOn});
}

Win32Error SimMachine::takeFault(SimOp op) {
    int call = ++m_callCounts[static_cast<size_t>(op)];
    auto [first, last] = m_faults.equal_range(op);
    for (auto it = first; it != last; ++it) {
        const Fault& fault = it->second;
        if (call == fault.nth || (fault.fromThenOn && call > fault.nth)) {
            return fault.error;
        }
    }
    return WIN_OK;
}
