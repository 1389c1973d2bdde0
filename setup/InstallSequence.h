#pragma once

#include "setup/Sequence.h"

// Installs the product: extracts the archive, registers its WMI classes, removes whatever
// installation is there, moves the new files into place, creates and starts the service
// (installing the runtime redistributable and trying once more when the first start fails),
// signals it and deletes what only setup needs.
//
// Ends: a command-line install closes the dialog without a box; an interactive one shows
// "Install ZIL Success" first. A service that does not start even after the runtime ends the
// run with 1603; a person then keeps the dialog open to read the log.
class InstallSequence : public Sequence {
public:
    using Sequence::Sequence;
    void Run() override;

private:
    void RemoveOldInstallation();
    void PlaceFiles();
    void CreateService();
    ServiceOutcome StartService();
    void EndWithServiceFailure(const ServiceOutcome& started);
    void EndWithSuccess();
};
