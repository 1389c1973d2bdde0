#pragma once

#include <vector>

#include "setup/ProductEntry.h"
#include "setup/Sequence.h"
#include "setup/Upgrade.h"

using InstallStep = SequenceStep;

// Installs the product: extracts the archive, registers its WMI classes, stops and unregisters
// the service of whatever installation is there and sets its folder aside, moves the new files
// into place with the setup program kept beside them and the product's Apps & features entry,
// creates and starts the service (installing the runtime redistributable and trying
// once more when the first start fails), lets go of the old installation, signals the service
// and deletes what only setup needs.
//
// A working installation is never lost: every step from the old service's stop to the commit
// gives its change back when a later one fails (the old folder back without a new file, its
// service registered as it was and running if it ran), and the run ends with 1603 with the log
// naming the step. An upgrade cut off halfway is finished by the next install once the service
// is stopped.
//
// Ends: a command-line install closes the dialog without a box; an interactive one shows
// "Install ZIL Success" first. A service that does not start even after the runtime ends the
// run with 1603 (the new files stay); a person then keeps the dialog open to read the log.
class InstallSequence : public Sequence {
public:
    explicit InstallSequence(const SequenceContext& context);

    void Run() override;
    // The install's steps in order; Run takes them as they are.
    static StepTable Steps();
    // Runs the given steps (the install's own, or a table that a test has added to).
    void RunSteps(StepTable steps);

    StepOutcome Extract();
    StepOutcome RegisterWmiClasses();
    StepOutcome QueryOldService();
    StepOutcome StopOldService();
    StepOutcome ResumeInterruptedUpgrade();
    StepOutcome ClearLeftovers();
    StepOutcome RecordUpgrade();
    StepOutcome CheckOldFiles();
    StepOutcome DeleteOldService();
    StepOutcome SetAsideOldFolder();
    StepOutcome CreateProgramFolder();
    StepOutcome CreateImageFolder();
    StepOutcome MoveFiles();
    StepOutcome KeepSetup();
    StepOutcome WriteEntry();
    StepOutcome DeleteTemp();
    StepOutcome CreateService();
    StepOutcome StartService();
    StepOutcome CommitUpgrade();
    StepOutcome SignalStarted();
    StepOutcome Launch();

private:
    void Conclude() override;
    void EndWithRestore(const char* step, const StepOutcome& failed) override;
    void EndKeepingChanges(const StepOutcome& failed) override;
    // The running product's close request, a moment to act on it before and after.
    StepOutcome RequestClose();
    bool StillRunning();

    Upgrade m_upgrade;
    ProductEntry m_entry;
    bool m_oldServicePending = false;  // found neither stopped nor running
};
