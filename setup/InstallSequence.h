#pragma once

#include <vector>

#include "setup/ProductEntry.h"
#include "setup/Sequence.h"
#include "setup/Upgrade.h"

class InstallSequence;

// One step of the install: its name (in the run log when it fails), the lower bar's position
// once it succeeded (-1: none), and what its failure does to the run.
struct InstallStep {
    enum Failure {
        INSTALL_STEP_GOES_ON,  // logged, and the install goes on
        INSTALL_STEP_ENDED,    // the step has ended the run itself
        INSTALL_STEP_RESTORE,  // the old installation comes back and the run ends with 1603
    };
    const char* name;
    Win32Error (*run)(InstallSequence& install);
    int position;
    Failure onFailure;
};

// Installs the product: extracts the archive, registers its WMI classes, stops and unregisters
// the service of whatever installation is there and sets its folder aside, moves the new files
// into place with the setup program kept beside them and the product's Apps & features entry,
// creates and starts the service (installing the runtime redistributable and trying
// once more when the first start fails), lets go of the old installation, signals the service
// and deletes what only setup needs.
//
// A working installation is never lost: every step from the old service's stop to the commit
// restores it when it fails (the old folder back without a new file, its service registered as
// it was and running if it ran), and the run ends with 1603 with the log naming the step. An
// upgrade cut off halfway is finished by the next install once the service is stopped.
//
// Ends: a command-line install closes the dialog without a box; an interactive one shows
// "Install ZIL Success" first. A service that does not start even after the runtime ends the
// run with 1603 (the new files stay); a person then keeps the dialog open to read the log.
class InstallSequence : public Sequence {
public:
    InstallSequence(Platform& platform, RunMode mode, SfxExtractor& extractor, SetupLogFile& log,
                    SequenceObserver& observer);

    void Run() override;
    // The install's steps in order; Run takes them as they are.
    static std::vector<InstallStep> Steps();
    // Runs the given steps (the install's own, or a list that a test has added to).
    void RunSteps(const std::vector<InstallStep>& steps);

    Win32Error PrepareTemp();
    Win32Error Extract();
    Win32Error RegisterWmiClasses();
    Win32Error QueryOldService();
    Win32Error StopOldService();
    Win32Error ResumeInterruptedUpgrade();
    Win32Error RecordUpgrade();
    Win32Error CheckOldFiles();
    Win32Error DeleteOldService();
    Win32Error SetAsideOldFolder();
    Win32Error CreateProgramFolder();
    Win32Error CreateImageFolder();
    Win32Error MoveFiles();
    Win32Error KeepSetup();
    Win32Error WriteEntry();
    Win32Error DeleteTemp();
    Win32Error CreateService();
    Win32Error StartService();
    Win32Error CommitUpgrade();
    Win32Error SignalAndFinish();

private:
    // A step failed before the new installation was complete: back to how the machine was.
    void EndWithOldInstallation(const char* step, Win32Error error);
    void EndWithServiceFailure(const ServiceOutcome& started);
    bool StillRunning();

    Upgrade m_upgrade;
    ProductEntry m_entry;
    bool m_entryWritten = false;  // this run has begun to replace the Apps & features entry
    bool m_oldServiceRan = false;
};
