#pragma once

#include "setup/ProductEntry.h"
#include "setup/Sequence.h"
#include "setup/Upgrade.h"

// Removes the product: extracts the archive again (the uninstall script travels in it),
// unregisters the WMI classes, signals the service three times, stops and deletes it, and
// deletes the program and temporary directories (and what an upgrade cut off halfway set aside).
// What is held open is moved out of the way to go at the next restart. A running service that
// would not stop keeps running, with its files; what is left behind at the end (a service that
// could not be removed, the program directory) makes the run a failure.
class UninstallSequence : public Sequence {
public:
    UninstallSequence(Platform& platform, RunMode mode, SfxExtractor& extractor, SetupLogFile& log,
                      SequenceObserver& observer);
    void Run() override;

private:
    void SignalService();
    void RemoveInstallation();
    bool InstallationLeftBehind();

    Upgrade m_upgrade;
    ProductEntry m_entry;
    bool m_serviceStillRuns = false;  // it ran and would not stop
    Win32Error m_entryLeft = WIN_OK;  // why the Apps & features entry could not go
};
