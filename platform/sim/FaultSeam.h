#pragma once

#include <map>
#include <string_view>
#include <utility>

#include <memory>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/sim/SimFaults.h"
#include "platform/sim/SimMachine.h"

// The one place where calls of the simulated machine fail on purpose: a shim in front of its
// file system, service manager, programs and registry that counts the calls of each kind and fails
// the Nth with a given error, once or from then on, or ends the process there. A fault with a
// subject counts only the calls whose subject it matches: for a file's open, read, write and seek
// the file's path as opened (the program's own path for its image); for mkdir, delete and
// restart the path or pattern; for a move its source; for exec the program file and for system
// the command line; for a service's calls its name (the manager's own open has none, ""), for a
// control its name and code as "NAME\CODE"; for the registry the key, and for a value the key and
// the value's name as "KEY\NAME". A failed call never reaches the machine; the journal says "fault:
// <kind> call <n> -> <error>" instead. Tests in this process add faults; a whole process of the
// program gets those its ZIL_FAULTS names.
class FaultSeam {
public:
    FaultSeam(SimMachine& machine, FileSystem& files, ServiceControl& services,
              Processes& processes, Registry& registry);
    ~FaultSeam();
    FaultSeam(const FaultSeam&) = delete;
    FaultSeam& operator=(const FaultSeam&) = delete;

    void fail(const SimFault& fault) {
        m_faults.push_back(fault);
        m_counted.push_back(0);
    }
    void fail(SimFaultKind kind, int nth, Win32Error error, bool fromThenOn = false) {
        fail(SimFault{kind, nth, error, fromThenOn, false});
    }

    FileSystem& files() { return *m_files; }
    ServiceControl& services() { return *m_services; }
    Processes& processes() { return *m_processes; }
    Registry& registry() { return *m_registry; }

    // Counts one call of the kind, with its subject: the error it fails with, or WIN_OK. A call
    // that is to kill the process ends it as a power cut would: what was written to a file since
    // its last flush never reached the disk.
    Win32Error take(SimFaultKind kind, std::string_view subject);
    // A file of the machine (its host path's device and inode) has writes beyond `flushed` bytes
    // that have not reached the disk; Flushed: they all have.
    void Unflushed(std::uint64_t device, std::uint64_t inode, std::uint64_t flushed);
    void Flushed(std::uint64_t device, std::uint64_t inode);
    // The host path of a path of the machine.
    Win32Error HostPath(TextRef path, std::string& host);
    // The call's own result, unless this call of the kind is to fail.
    template <typename Call>
    Win32Error guard(SimFaultKind kind, std::string_view subject, Call call) {
        Win32Error fault = take(kind, subject);
        return fault != WIN_OK ? fault : call();
    }

private:
    // Cuts every unflushed file back to what was flushed of it, wherever it is now.
    void LoseUnflushedWrites();

    SimMachine& m_machine;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t> m_unflushed;
    std::vector<SimFault> m_faults;
    std::vector<int> m_counted;  // the calls each fault with a subject has counted
    std::vector<int> m_calls;    // of each kind so far
    std::unique_ptr<FileSystem> m_files;
    std::unique_ptr<ServiceControl> m_services;
    std::unique_ptr<Processes> m_processes;
    std::unique_ptr<Registry> m_registry;
};
