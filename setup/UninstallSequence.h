#pragma once

#include <vector>

#include "setup/ProductEntry.h"
#include "setup/Sequence.h"
#include "setup/Upgrade.h"

using UninstallStep = SequenceStep;

// Removes the product: extracts the archive again (the uninstall script travels in it),
// unregisters the WMI classes, signals the service three times, stops and deletes it, and
// deletes the program and temporary directories (and what an upgrade cut off halfway set aside).
// What is held open is moved out of the way to go at the next restart. A running service that
// would not stop keeps running, with its files; what is left behind at the end (a service that
// could not be removed, the program directory) makes the run a failure.
class UninstallSequence : public Sequence {
public:
    explicit UninstallSequence(const SequenceContext& context);
    void Run() override;
    // The uninstall's steps in order; no step of it is given back.
    static StepTable Steps();

    StepOutcome Extract();
    StepOutcome UnregisterWmiClasses();
    StepOutcome SendClose();
    StepOutcome SendUninstall();
    StepOutcome SendUninstallLast();
    StepOutcome QueryService();
    StepOutcome StopService();
    StepOutcome ClearInterruptedUpgrade();
    StepOutcome ClearLeftovers();
    StepOutcome DeleteService();
    StepOutcome DeleteProgramFolder();
    StepOutcome DeleteEntry();
    StepOutcome DeleteTemp();

private:
    void Conclude() override;
    bool InstallationLeftBehind();

    Upgrade m_upgrade;
    ProductEntry m_entry;
    bool m_serviceRuns = false;       // as the query found it: in any state but stopped, or unknown
    bool m_leftoversStay = false;     // setup's own, that could neither go nor be moved aside
    Win32Error m_entryLeft = WIN_OK;  // why the Apps & features entry could not go
};
