#include "platform/sim/SimPlatform.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

class SimClock : public Clock {
public:
    explicit SimClock(SimMachine& machine) : m_machine(machine) {}

    void sleep(std::uint32_t milliseconds) override { m_machine.sleep(milliseconds); }
    std::uint64_t now() override { return m_machine.now(); }

    // Log files carry the host's local time; the virtual clock only counts
    // pauses.
    String localTimestamp() override {
        std::time_t seconds =
            std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm local{};
        localtime_r(&seconds, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return text;
    }

private:
    SimMachine& m_machine;
};

SimConfig prepared(SimConfig config) {
    std::error_code ignored;
    std::filesystem::create_directories(config.root + "/C", ignored);
    return config;
}

}  // namespace

SimPlatform::SimPlatform(SimConfig config, std::unique_ptr<SimFrontEnd> frontEnd)
    : m_machine(prepared(std::move(config))),
      m_frontEnd(std::move(frontEnd)),
      m_files(m_machine),
      m_windows(m_machine, m_frontEnd.get()),
      m_services(m_machine),
      m_processes(m_machine),
      m_registry(m_machine),
      m_system(m_machine),
      m_seam(m_machine, m_files, m_services, m_processes, m_registry),
      m_clock(std::make_unique<SimClock>(m_machine)) {}

SimPlatform::~SimPlatform() {
    for (int fd : {m_lockFd, m_keptLockFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

namespace {

// Holds an flock on the file in `fd` until it is closed; false when another process holds it.
bool AcquireLockFile(const std::string& path, int& fd) {
    if (fd >= 0) {
        return true;
    }
    int opened = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (opened < 0) {
        return false;
    }
    // The kernel drops the lock when this process dies, however it ends.
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        ::close(opened);
        return false;
    }
    fd = opened;
    return true;
}

}  // namespace

bool SimPlatform::acquireSetupLock() {
    return AcquireLockFile(m_machine.root() + "/setup.lock", m_lockFd);
}

bool SimPlatform::acquireKeptSetupLock() {
    return AcquireLockFile(m_machine.root() + "/kept-setup.lock", m_keptLockFd);
}
