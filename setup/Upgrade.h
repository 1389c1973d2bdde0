#pragma once

#include <cstdint>
#include "text/StringType.h"
#include <vector>

#include "platform/Platform.h"
#include "setup/FileOperations.h"
#include "setup/ProductService.h"
#include "setup/SequenceStep.h"
#include "setup/Transaction.h"

// An install over an installation: the changes it makes to the old installation (its service
// stopped, its registration removed, its folder set aside, a new folder and service in their
// place) go into the run's transaction as they are made, each with its undo, so that a failed
// run gives back exactly what was there and the commit lets go of it. What a run cut off halfway
// must leave the next one is written to a record beside the program folder, where only
// administrators may write, and reaches the disk before the first change; the next run trusts
// the record and the folder it names only when both are what they claim to be.

// What the record says of the installation an upgrade replaces.
struct UpgradeRecord {
    bool serviceExisted = false;
    bool serviceRan = false;
    ServiceSettings service;  // its registration as it was, account included
    bool folderExisted = false;
    String setAsidePath;       // where the old program folder waits
    std::uint64_t volume = 0;  // and which folder that is
    std::uint64_t fileId = 0;
};

class Upgrade {
public:
    Upgrade(Platform& platform, FileOperations& files, ProductService& service,
            Transaction& transaction, StatusDisplay& show);

    // What an earlier run left at the record's place.
    enum class Interrupted {
        None,     // nothing: no upgrade was cut off
        Resumed,  // the record was proved and what it names was brought back
        Ignored,  // something that is not a record of ours: left alone (see `note`)
        Failed,   // a record of ours whose changes could not all be given back (see `error`)
    };
    struct [[nodiscard]] Resumption {
        Interrupted outcome = Interrupted::None;
        Win32Error error = WIN_OK;
        String note;  // a run log line naming what was left alone
        // What the resume could not delete now: moved out of the way, for the restart.
        Removal left;
        String id;  // the upgrade resumed, as Id() told it to the run that was cut off
    };
    // Gives back what an upgrade cut off halfway had changed, once the service is stopped: its
    // folder back in place and the service registered as recorded, whether or not the folder
    // came back; the record goes once everything is back. If the recorded service ran, this
    // run's own transaction starts it again should this run fail. Also how an uninstall clears
    // what such an upgrade left (restoreFolder false: the old folder is deleted instead, and the
    // registration is left to the uninstall).
    Resumption ResumeInterrupted(bool restoreFolder = true);

    // The service runs as this run found it.
    void NoteServiceRan() { m_record.serviceRan = true; }
    bool ServiceRan() const { return m_record.serviceRan; }
    // What earlier runs left of setup's own beside the program folder once any record is dealt
    // with: set-aside folders that no record names (an upgrade cut off inside its commit),
    // folders and files moved out of the way to go at a restart, an emptied record. Only real
    // folders and files of administrators count as setup's. Each goes now, or out of the way to
    // go at the next restart; as a step tells it, the error is that of the first that can do
    // neither, the run log names each, and what waits for the next restart is the step's.
    StepOutcome ClearLeftovers();
    // The running service has been stopped: a restore starts it again.
    void ServiceStopped();
    // Reads what is installed now and writes the record before anything else is changed; a
    // record that cannot be written, or an old service that logs on with a password setup
    // cannot know, stops the upgrade. Where something that is not a record of ours takes the
    // record's place, it is left alone (named in the run log), and the upgrade goes on without
    // a record. As a step tells it.
    StepOutcome Begin();
    // Which upgrade this run is, once Begin wrote its record (empty without one): the record's
    // file (volume and file id) and the folder it names. Another upgrade's record, even one
    // written later at the same place in a file that took this one's number, names another
    // folder: the one it sets aside is the installation this upgrade made. What a run changes
    // outside the record (the entry it replaces, say) carries it, so that only a resume of this
    // very record gives that change back.
    const String& Id() const { return m_id; }
    // The old registration goes (nothing to do when there is none).
    ServiceOutcome RemoveService();
    // The old program folder, renamed beside itself (nothing to do when there is none).
    Win32Error SetAsideFolder();
    // The program folder made where none is now: a restore removes it.
    void MadeProgramFolder();
    // The new service registered: a restore removes it.
    void MadeService();
    // After the transaction gave its changes back: the record goes when all of them are back,
    // and stays for the next run to finish when one is not.
    void Restored(const Restoration& restored);
    // The new installation stays: the record goes first, then the old folder.
    std::vector<Removal> Commit();

private:
    void ClearLeftover(const String& path, StepOutcome& cleared);
    Win32Error WriteRecord();
    bool ReadRecord(UpgradeRecord& record);
    bool IsRecordedFolder(const UpgradeRecord& record);
    Win32Error RestoreFolder(const UpgradeRecord& record, Removal& cleared);
    Win32Error RemoveCurrentService();
    Win32Error RegisterAsRecorded(const UpgradeRecord& record);
    Undone StartIfStopped();
    void DeleteRecord();

    Platform& m_platform;
    FileOperations& m_files;
    ProductService& m_service;
    Transaction& m_transaction;
    StatusDisplay& m_show;
    UpgradeRecord m_record;  // what this run found, and the record written of it
    bool m_recordWritten = false;
    String m_id;
};

// Whether Windows needs a password to start a service under this account: every account but
// the local system, its local and network service accounts, the per-service virtual accounts
// and managed service accounts.
bool AccountNeedsPassword(const String& account);
