#pragma once

#include "setup/Sequence.h"

// Removes the product: extracts the archive again (the uninstall script travels in it),
// unregisters the WMI classes, signals the service three times, stops and deletes it, and
// deletes the program and temporary directories. No step's failure changes that course; what
// is left behind at the end (the service or the program directory) makes the run a failure.
class UninstallSequence : public Sequence {
public:
    using Sequence::Sequence;
    void Run() override;

private:
    void SignalService();
    void RemoveInstallation();
    bool InstallationLeftBehind();

    bool m_serviceStillRuns = false;  // it ran and would not stop
};
