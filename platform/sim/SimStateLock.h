#pragma once

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Holds a lock file of the machine for one read-modify-write of a state file. Blocks while
// another process holds it; the kernel drops it if this process dies.
class SimStateLock {
public:
    explicit SimStateLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~SimStateLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    SimStateLock(const SimStateLock&) = delete;
    SimStateLock& operator=(const SimStateLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};
