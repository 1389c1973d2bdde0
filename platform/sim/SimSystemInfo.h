#pragma once

#include "platform/SystemInfo.h"
#include "platform/sim/SimMachine.h"

// The simulated machine's facts: a 64-bit Windows 10 on which the 32-bit program runs elevated;
// its window station is visible unless ZIL_DESKTOP=hidden. It knows the texts of the errors a
// test is likely to inject and of those the machine itself reports, and no other.
class SimSystemInfo : public SystemInfo {
public:
    explicit SimSystemInfo(SimMachine& machine) : m_machine(machine) {}

    WindowsVersion windowsVersion() override;
    bool processElevated() override { return true; }
    bool desktopVisible() override { return !m_machine.config().desktopHidden; }
    String errorText(Win32Error error) override;
    String programVersion() override;
    std::uint64_t programFileSize() override;

private:
    SimMachine& m_machine;
};
