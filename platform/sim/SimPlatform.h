#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/sim/FaultSeam.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimFrontEnd.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimServices.h"
#include "platform/sim/SimSystemInfo.h"
#include "platform/sim/SimWindowSystem.h"

// The simulated Windows machine as the program's platform. main() builds one
// from the environment; tests build one per case from a SimConfig with their
// own folder and the virtual clock, and reach the machine and the service knobs
// through it.
class SimPlatform : public Platform {
public:
    // Creates the machine's folder and drive C: when they are missing. Without a front end the
    // machine shows nothing and only ZIL_INPUT acts.
    explicit SimPlatform(SimConfig config, std::unique_ptr<SimFrontEnd> frontEnd = nullptr);
    ~SimPlatform() override;

    SimPlatform(const SimPlatform&) = delete;
    SimPlatform& operator=(const SimPlatform&) = delete;

    // Through the fault seam, as everything the program does on the machine goes.
    FileSystem& files() override { return m_seam.files(); }
    ServiceControl& services() override { return m_seam.services(); }
    Processes& processes() override { return m_seam.processes(); }
    Registry& registry() override { return m_seam.registry(); }
    Clock& clock() override { return *m_clock; }
    WindowSystem& windows() override { return m_windows; }
    SystemInfo& system() override { return m_system; }
    // An flock on setup.lock in the machine, held until this object dies.
    bool acquireSetupLock() override;
    // The same on kept-setup.lock.
    bool acquireKeptSetupLock() override;

    SimMachine& machine() { return m_machine; }
    FaultSeam& faults() { return m_seam; }
    SimServices& simServices() { return m_services; }
    SimRegistry& simRegistry() { return m_registry; }
    SimWindowSystem& simWindows() { return m_windows; }
    void setServiceKnobs(const SimServices::Knobs& knobs) { m_services.setKnobs(knobs); }

private:
    SimMachine m_machine;
    std::unique_ptr<SimFrontEnd> m_frontEnd;  // ZIL_UI=text: the terminal; else none
    SimFileSystem m_files;
    SimWindowSystem m_windows;
    SimServices m_services;
    SimProcesses m_processes;
    SimRegistry m_registry;
    SimSystemInfo m_system;
    FaultSeam m_seam;
    std::unique_ptr<Clock> m_clock;
    int m_lockFd = -1;
    int m_keptLockFd = -1;
};
