#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Services.h"
#include "platform/sim/SimMachine.h"

// The file that the stand-in runtime redistributable creates; services that need the runtime
// fail to start with WIN_SERVICE_REQUEST_TIMEOUT until it exists.
inline constexpr const char* SIM_RUNTIME_MARKER = "C:\\Windows\\System32\\msvcr_zil.marker";

// The simulated service control manager. Its state lives in $ZIL_MACHINE/services.txt and every
// request reads, changes and writes it back under an exclusive flock on services.lock, so an
// install, a later uninstall and a test in other processes all see one consistent manager.
//
// Windows behaviour that the program depends on:
// - names compare without case; creating an existing name gives 1073, a missing one 1060;
// - each handle may do only what it was opened for (5 otherwise);
// - a start needs the image file (the registered path, quotes stripped) in the machine (2);
// - starting a service that is not stopped gives 1056; controlling a stopped one 1062, one
//   that is start or stop pending 1061; codes other than stop and 128-255 give 1052;
// - DeleteService only marks the service; it goes once it is stopped and no handle to it is
//   open in any process. Meanwhile opening or creating it gives 1072.
//
// Pending states are derived from the clock: a start requested at time t with a start delay d
// is start-pending until t + d on the clock of the object that asked. The virtual clock is per
// process, so any other process (or another SimServices in the same process) sees that start
// as completed, unless the service never starts. A pending change whose owner is
// SIM_ANY_CLOCK ("*", written into services.txt by a test) runs on the clock of whichever
// object looks: a service that a run finds on its way (stopping, starting, pausing) and that
// gets there once that run's clock reaches since + for.
// A paused service (state 7) takes a stop and other controls as a running one does; one that
// is pending (2, 3, 5, 6) refuses them with 1061.
//
// Every request is one journal line: "service: <name> <request> [<argument>] -> <error>",
// for instance "service: JovixZIL control 139 -> 0"; the manager itself is "SCM".
class SimServices : public ServiceControl {
public:
    // Test knobs, kept in $ZIL_MACHINE/service-knobs.txt so that the program under test (another
    // process) obeys them too. They apply to every service.
    struct Knobs {
        std::uint32_t startDelay = 0;  // clock milliseconds a start stays pending
        std::uint32_t stopDelay = 0;   // clock milliseconds a stop stays pending
        bool needsRuntime = false;     // starts fail with 1053 until SIM_RUNTIME_MARKER exists
        bool neverStarts = false;      // a start leaves the service start-pending for good
    };

    // A service as the manager records it.
    struct Record {
        ServiceSettings settings;                  // as registered (no desired access)
        std::uint32_t settledState = SVC_STOPPED;  // the state once a pending change completes
        std::uint32_t pendingState = 0;            // SVC_START_PENDING, SVC_STOP_PENDING or 0
        std::string pendingOwner;                  // whose clock the pending change runs on
        std::uint64_t pendingSince = 0;
        std::uint64_t pendingFor = 0;  // milliseconds; SIM_FOREVER: never completes
        bool markedForDelete = false;
        std::map<std::string, int> openHandles;  // owner -> handles open
        std::vector<std::uint32_t> controls;     // user-defined codes received, in order
    };

    static constexpr std::uint64_t SIM_FOREVER = ~std::uint64_t{0};
    static constexpr const char* SIM_ANY_CLOCK = "*";
    static constexpr std::uint32_t SIM_PAUSED = 7;

    explicit SimServices(SimMachine& machine);

    Win32Error openManager(std::uint32_t access, std::unique_ptr<ServiceManager>& manager) override;

    void setKnobs(const Knobs& knobs);
    Knobs knobs() const;

    // The current state of a service, pending changes settled against this object's clock.
    // False when no such service exists (deleted ones included).
    bool lookup(std::string_view name, Record& record);
    // The state a service reports now: SVC_STOPPED ... SVC_RUNNING, or 0 when it does not exist.
    std::uint32_t currentState(std::string_view name);

    SimMachine& machine() { return m_machine; }
    // Identifies this object's handles and clock in the shared state: "<pid>.<instance>".
    const std::string& owner() const { return m_owner; }

private:
    SimMachine& m_machine;
    std::string m_owner;
};
