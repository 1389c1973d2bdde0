#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Error.h"
#include "platform/sim/SimFaults.h"

// The simulated Windows machine: a folder on the host that holds drives C:, D:, E: as
// subfolders C/, D/, E/, the service control manager's state and a journal of every act.
// Configured by the environment only, so the program's command line is the same in both builds.

enum class SimUi { None, Text };

struct SimConfig {
    std::string root = "./zil-machine";  // ZIL_MACHINE
    bool virtualClock = false;           // ZIL_CLOCK=virtual
    SimUi ui = SimUi::None;              // ZIL_UI
    // ZIL_INPUT, comma separated: "click:1000", "click:1001", "close". Empty: the text UI reads
    // keys from the terminal, otherwise the dialog is closed when it waits.
    std::vector<std::string> input;
    // Host path of the running setup program (its archive). Empty: /proc/self/exe.
    std::string modulePath;
    // ZIL_FAULTS: faults the whole process meets.
    std::vector<SimFault> faults;
    // ZIL_DESKTOP=hidden: the window station nobody sees (a service, session 0).
    bool desktopHidden = false;

    // The configuration the environment describes; false, with the reason, for a value that
    // cannot be understood (ZIL_FAULTS, ZIL_DESKTOP): nothing may run then.
    static bool fromEnvironment(SimConfig& config, std::string& error);
};

class SimMachine {
public:
    explicit SimMachine(SimConfig config);

    const SimConfig& config() const { return m_config; }
    const std::string& root() const { return m_config.root; }
    // Host path of the running setup program (SimConfig::modulePath, else this process's
    // executable); empty when it cannot be read.
    std::string modulePath() const;

    // Maps a Windows path ("C:\Program Files (x86)\ZIL\a.exe") to its host path under the root,
    // matching each existing component case-insensitively, or by its short name (PROGRA~2), less
    // trailing dots and blanks, as Windows does. A path that is not absolute on drive
    // C:, D: or E:, or that would leave the machine ("..") is refused with WIN_ACCESS_DENIED;
    // a missing parent gives WIN_PATH_NOT_FOUND only where the caller asks for existence.
    Win32Error hostPath(std::string_view windowsPath, std::string& host) const;
    // True when the Windows path names a plain file in the machine.
    bool isFile(std::string_view windowsPath) const;

    // Appends one line to journal.log ("kind: detail"); safe across processes.
    void journal(std::string_view kind, std::string_view detail);
    std::vector<std::string> journalLines() const;
    std::string journalPath() const { return m_config.root + "/journal.log"; }

    // The clock: real sleeps, or a virtual clock that only adds.
    void sleep(std::uint32_t milliseconds);
    std::uint64_t now() const;

private:
    SimConfig m_config;
    std::uint64_t m_virtualNow = 0;
    std::uint64_t m_realStart = 0;
};
