#include "platform/sim/SimMachine.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
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
    return ParseSimFaults(environment("ZIL_FAULTS"), config.faults, error);
}

SimMachine::SimMachine(SimConfig config)
    : m_config(std::move(config)),
      m_realStart(steadyMilliseconds()),
      m_callCounts(static_cast<size_t>(SimOp::Count), 0),
      m_kindCounts(static_cast<size_t>(SimFaultKind::Count), 0) {}

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
    Win32Error processFault = TakeProcessFault(op);
    int call = ++m_callCounts[static_cast<size_t>(op)];
    auto [first, last] = m_faults.equal_range(op);
    for (auto it = first; it != last; ++it) {
        const Fault& fault = it->second;
        if (call == fault.nth || (fault.fromThenOn && call > fault.nth)) {
            return fault.error;
        }
    }
    return processFault;
}

Win32Error SimMachine::TakeProcessFault(SimOp op) {
    static constexpr SimFaultKind kinds[] = {
        SimFaultKind::Open,     SimFaultKind::Read,       SimFaultKind::Write,
        SimFaultKind::Count,  // a seek has no kind of its own
        SimFaultKind::Mkdir,    SimFaultKind::Move,       SimFaultKind::Delete,
        SimFaultKind::SvcOpen,  SimFaultKind::SvcOpen,    SimFaultKind::SvcCreate,
        SimFaultKind::SvcStart, SimFaultKind::SvcControl, SimFaultKind::SvcDelete,
        SimFaultKind::SvcQuery, SimFaultKind::Exec,       SimFaultKind::Move,
        SimFaultKind::Delete,   SimFaultKind::Delete,     SimFaultKind::System,
    };
    static_assert(std::size(kinds) == static_cast<std::size_t>(SimOp::Count));
    SimFaultKind kind = kinds[static_cast<std::size_t>(op)];
    if (kind == SimFaultKind::Count || m_config.faults.empty()) {
        return WIN_OK;
    }
    int call = ++m_kindCounts[static_cast<std::size_t>(kind)];
    for (const SimFault& fault : m_config.faults) {
        if (fault.kind != kind || (call != fault.nth && !(fault.fromThenOn && call > fault.nth))) {
            continue;
        }
        std::string where = std::string(SimFaultKindName(kind)) + " call " + std::to_string(call);
        if (fault.kill) {
            journal("fault", where + " -> killed");
            ::kill(::getpid(), SIGKILL);
        }
        journal("fault", where + " -> " + std::to_string(fault.error));
        return fault.error;
    }
    return WIN_OK;
}
