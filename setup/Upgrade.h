#pragma once

#include <cstdint>
#include "StringType.h"

#include "platform/Platform.h"
#include "setup/FileOperations.h"
#include "setup/ProductService.h"

// An install over an installation, as one transaction: each change it makes to the old
// installation (its service stopped, its registration removed, its folder set aside) is noted as
// it is made, so that Restore gives back exactly what was there (the old folder without a file
// of the new version, the service registered as it was and running if it ran) and Commit lets
// go of it. What a run cut off halfway must leave the next one is written to a record beside the
// program folder, where only administrators may write, before the first change; the next run
// trusts the record and the folder it names only when both are what they claim to be.
// What the record says of the installation an upgrade replaces.
struct UpgradeRecord {
    bool serviceExisted = false;
    bool serviceRan = false;
    ServiceSettings service;  // its registration as it was
    bool folderExisted = false;
    String setAsidePath;       // where the old program folder waits
    std::uint64_t volume = 0;  // and which folder that is
    std::uint64_t fileId = 0;
};

// What a restore did: its error (0 when everything is back) and the run log lines that say so.
struct Restoration {
    Win32Error error = WIN_OK;
    String runLog;
};

class Upgrade {
public:
    Upgrade(Platform& platform, FileOperations& files, ProductService& service);

    // What an earlier run left at the record's place.
    enum class Interrupted {
        None,     // nothing: no upgrade was cut off
        Resumed,  // the record was proved and what it names was brought back
        Ignored,  // something that is not a record of ours: left alone (see `note`)
        Failed,   // a record of ours whose folder could not be brought back (see `error`)
    };
    struct Resumption {
        Interrupted outcome = Interrupted::None;
        Win32Error error = WIN_OK;
        String note;  // a run log line naming what was left alone, or what was retired
    };
    // Brings back what an upgrade cut off halfway had set aside, once the service is stopped:
    // its folder back in place, the service registered as it was (stopped), and the record gone.
    // Also how an uninstall clears what such an upgrade left (with restoreFolder false the old
    // folder is deleted instead of brought back).
    Resumption ResumeInterrupted(bool restoreFolder = true);

    // The old service ran when this run found it (it is stopped now, or failed to stop).
    void NoteServiceRan() { m_serviceRan = true; }
    // Reads what is installed now and writes the record before anything is changed; a record
    // that cannot be written stops the upgrade. Where something that is not a record of ours
    // takes the record's place, it is left alone (and named in `note`), and the upgrade goes on
    // without a record.
    struct Beginning {
        Win32Error error = WIN_OK;
        String note;
    };
    Beginning Begin();
    // The old registration goes (nothing to do when there is none).
    ServiceOutcome RemoveService();
    // The old program folder, renamed beside itself (nothing to do when there is none).
    Win32Error SetAsideFolder();
    // Back to how the machine was; the error of the first part that could not be given back.
    // The record stays while the old folder is still set aside, so that a later run can finish.
    Restoration Restore(StatusDisplay* show);
    // The new installation stays: the old folder goes, and so does the record.
    Removal Commit();

private:
    Win32Error WriteRecord();
    bool ReadRecord(UpgradeRecord& record);
    bool IsRecordedFolder(const UpgradeRecord& record);
    Win32Error RestoreFolder(const UpgradeRecord& record);
    Win32Error RemoveCurrentService(StatusDisplay* show);
    void DeleteRecord();

    Platform& m_platform;
    FileOperations& m_files;
    ProductService& m_service;
    UpgradeRecord m_record;  // what Begin found, and the record written of it
    bool m_serviceRan = false;
    bool m_began = false;
    bool m_serviceRemoved = false;
    bool m_folderSetAside = false;
};
