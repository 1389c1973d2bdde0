#pragma once

#include "setup/Sequence.h"

// Installs the product: extracts the archive, registers its WMI classes, stops and unregisters
// the service of whatever installation is there and sets its folder aside, moves the new files
// into place, creates and starts the service (installing the runtime redistributable and trying
// once more when the first start fails), signals it and deletes what only setup needs.
//
// A working installation is never lost: when the new files cannot be placed, they go, the old
// folder comes back and its service is registered again (and started if it ran); the run ends
// with 1603 and the log names the step that failed. The old folder is deleted only once the new
// files are in place.
//
// Ends: a command-line install closes the dialog without a box; an interactive one shows
// "Install ZIL Success" first. A service that does not start even after the runtime ends the
// run with 1603; a person then keeps the dialog open to read the log.
class InstallSequence : public Sequence {
public:
    using Sequence::Sequence;
    void Run() override;

private:
    bool RemoveOldInstallation();
    bool StillRunning();
    bool PlaceFiles();
    // A step failed before the new installation was complete: back to how the machine was.
    void EndWithOldInstallation(const char* step, Win32Error error, bool filesPlaced);
    void RegisterOldService();
    void CreateService();
    ServiceOutcome StartService();
    void EndWithServiceFailure(const ServiceOutcome& started);
    void EndWithSuccess();

    bool m_oldServiceRemoved = false;  // the service of the installation being replaced
    bool m_oldServiceRan = false;
};
