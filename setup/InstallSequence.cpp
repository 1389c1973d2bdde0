#include "setup/InstallSequence.h"

#include "text/Format.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"
#include "setup/StepLine.h"
#include "sfx/ExtractCodes.h"

namespace {

// What the runtime's installer ends with when the runtime is complete only after a restart of
// Windows: the Windows Installer's codes for a restart required, and for one it has started.
constexpr std::uint32_t REDIST_EXIT_RESTART_REQUIRED = 3010;
constexpr std::uint32_t REDIST_EXIT_RESTART_STARTED = 1641;

}  // namespace

InstallSequence::InstallSequence(const SequenceContext& context)
    : Sequence(context),
      m_upgrade(platform(), files(), service(), transaction(), observer()),
      m_entry(platform()) {}

void InstallSequence::Run() {
    RunSteps(Steps());
}

// Every step up to the commit that changes the machine gives its change back when a later one
// fails: a step added among them is covered without more ado. After the commit nothing is given
// back.
StepTable InstallSequence::Steps() {
    using S = InstallSequence;
    using F = StepFailure;
    static constexpr InstallStep steps[] = {
        {"Put Back ZIL Setup", RunStep<Sequence, &S::PutBackKeptSetup>, -1, F::GoesOn},
        {"Remove ZIL Setup Run Folder", RunStep<Sequence, &S::ClearRunFolders>, -1, F::GoesOn},
        {"Create ZIL Temp Directory", RunStep<Sequence, &S::PrepareTempDirectory>, -1, F::Ends},
        {"Extract ZIL Files", RunStep<S, &S::Extract>, -1, F::Ends},
        {"Register ZIL WMI Classes", RunStep<S, &S::RegisterWmiClasses>, -1, F::GoesOn},
        {"Query ZIL Service", RunStep<S, &S::QueryOldService>, -1, F::Restores},
        {"Stop ZIL Service", RunStep<S, &S::StopOldService>, -1, F::Restores},
        {"Restore Interrupted ZIL Upgrade", RunStep<S, &S::ResumeInterruptedUpgrade>, -1,
         F::Restores},
        {"Remove Old ZIL Leftovers", RunStep<S, &S::ClearLeftovers>, -1, F::Restores},
        // The resume may have brought back a folder that lost its uninstaller.
        {"Put Back ZIL Setup", RunStep<Sequence, &S::PutBackKeptSetup>, -1, F::GoesOn},
        {"Record ZIL Upgrade", RunStep<S, &S::RecordUpgrade>, -1, F::Restores},
        {"Check Old ZIL Files", RunStep<S, &S::CheckOldFiles>, -1, F::Restores},
        {"Delete ZIL Service", RunStep<S, &S::DeleteOldService>, -1, F::Restores},
        {"Set Aside Old ZIL Directory", RunStep<S, &S::SetAsideOldFolder>, 60, F::Restores},
        {"Create ZIL Directory", RunStep<S, &S::CreateProgramFolder>, 75, F::Restores},
        {"Create ZIL Directory", RunStep<S, &S::CreateImageFolder>, 80, F::Restores},
        {"Move ZIL Files", RunStep<S, &S::MoveFiles>, 85, F::Restores},
        {"Keep ZIL Setup", RunStep<S, &S::KeepSetup>, -1, F::Restores},
        {"Write ZIL Uninstall Entry", RunStep<S, &S::WriteEntry>, -1, F::Restores},
        {"Delete ZIL Temp Directory", RunStep<S, &S::DeleteTemp>, 89, F::GoesOn},
        {"Create ZIL Service", RunStep<S, &S::CreateService>, 93, F::Restores},
        {"Start ZIL Service", RunStep<S, &S::StartService>, 95, F::KeepsAndEnds},
        {"Remove Old ZIL Directory", RunStep<S, &S::CommitUpgrade>, -1, F::Commits},
        {"Send ZIL Service Control 137", RunStep<S, &S::SignalStarted>, 100, F::GoesOn},
        {"Send ZIL Service Control 133", RunStep<S, &S::Launch>, -1, F::GoesOn},
    };
    return steps;
}

void InstallSequence::RunSteps(StepTable steps) {
    RunTable("install", steps);
}

// Nothing of the old installation has been touched yet, and a failure keeps it so.
StepOutcome InstallSequence::Extract() {
    return ExtractPayload(true, "Current Progress", "Total Progress");
}

StepOutcome InstallSequence::RegisterWmiClasses() {
    StepOutcome registered = RunMofScript(SETUP_INSTALL_MOF_SCRIPT);
    Pause(SEQUENCE_PAUSE_STEP);
    return registered;
}

// Whether the product runs cannot be told: its files must not be replaced under it.
StepOutcome InstallSequence::QueryOldService() {
    ServiceQuery query = service().QueryServiceState();
    StepOutcome queried = ServiceReport(query.error, query.statusLine);
    if (query.error != 0 && query.error != WIN_SERVICE_DOES_NOT_EXIST) {
        queried.error = query.error;
    } else if (query.state == SVC_RUNNING) {
        m_upgrade.NoteServiceRan();
    } else {
        m_oldServicePending = query.error == 0 && query.state != SVC_STOPPED;
    }
    return queried;
}

// The running product gets its close request and a moment to act on it before the stop. One
// still on its way (stopping, starting) runs from the program folder just the same: it too must
// reach STOPPED first. One that would not stop keeps running, and keeps its files; only one that
// ran and stopped is started again by a restore.
StepOutcome InstallSequence::StopOldService() {
    bool ran = m_upgrade.ServiceRan();
    // The close request's record stands for the step; the stop's lines follow.
    StepOutcome stop = ran ? RequestClose() : StepOutcome();
    if (!ran && !m_oldServicePending) {
        return stop;
    }
    ServiceOutcome stopped = service().StartOrStopWithRetry(SERVICE_MODE_STOP, &observer());
    stop.runLog += stopped.statusLine;
    if (stopped.error != 0 && StillRunning()) {
        stop.error = stopped.error;
    } else if (ran) {
        m_upgrade.ServiceStopped();
    }
    return stop;
}

StepOutcome InstallSequence::RequestClose() {
    Pause(SEQUENCE_PAUSE_CONTROL);
    return SendControl(SERVICE_CODE_CLOSE, SEQUENCE_PAUSE_CONTROL);
}

// A service that cannot be asked any more may well have stopped; the install then goes on as it
// would.
bool InstallSequence::StillRunning() {
    ServiceQuery query = service().QueryServiceState();
    return query.error == 0 && query.state != SVC_STOPPED;
}

// Only now, with no service running from the program folder, may an upgrade that was cut off
// be finished: its old folder comes back before this upgrade sets it aside again.
StepOutcome InstallSequence::ResumeInterruptedUpgrade() {
    Upgrade::Resumption resumed = m_upgrade.ResumeInterrupted();
    StepOutcome resume;
    resume.error = resumed.error;
    resume.runLog = resumed.note;
    resume.Left(resumed.left);
    if (resumed.outcome == Upgrade::Interrupted::Resumed) {
        // The entry the cut-off run replaced comes back with its installation.
        if (Win32Error entry = m_entry.GiveBackInterrupted(resumed.id); entry != WIN_OK) {
            resume.error = entry;
            return resume;
        }
        resume.runLog += StepLine(StepName(), WIN_OK);
    }
    return resume;
}

// What an earlier run left beside the program folder goes before this upgrade sets anything
// aside there; what can neither go nor be moved out of the way stops the upgrade.
StepOutcome InstallSequence::ClearLeftovers() {
    return m_upgrade.ClearLeftovers();
}

StepOutcome InstallSequence::RecordUpgrade() {
    return m_upgrade.Begin();
}

// A file of the old installation that another program holds open would make the folder's
// move fail halfway, or leave that program without its files.
StepOutcome InstallSequence::CheckOldFiles() {
    FileInUse inUse = files().FirstFileInUse(SETUP_PROGRAM_DIR);
    StepOutcome checked;
    checked.error = inUse.error;
    if (inUse.error != WIN_OK) {
        checked.runLog = InUseLine(inUse);
    }
    return checked;
}

StepOutcome InstallSequence::DeleteOldService() {
    ServiceOutcome deleted = m_upgrade.RemoveService();
    StepOutcome removal = ServiceReport(deleted.error, deleted.statusLine);
    bool gone = deleted.error == 0 || deleted.error == WIN_SERVICE_DOES_NOT_EXIST;
    removal.error = gone ? WIN_OK : deleted.error;
    return removal;
}

StepOutcome InstallSequence::SetAsideOldFolder() {
    StepOutcome setAside;
    setAside.error = m_upgrade.SetAsideFolder();
    if (setAside.error == WIN_OK) {
        // The line the product has always logged here; log readers in the field match it, so
        // its spelling stays.
        setAside.runLog = "Unistall ZIL Success !!!\r\n";
        observer().Refresh();
    }
    return setAside;
}

StepOutcome InstallSequence::CreateProgramFolder() {
    PathInfo info;
    bool there = platform().files().pathInfo(SETUP_PROGRAM_DIR, info) == WIN_OK;
    StepOutcome created;
    created.error = files().EnsureDirectory(SETUP_PROGRAM_DIR);
    if (!there) {
        m_upgrade.MadeProgramFolder();
    }
    return created;
}

StepOutcome InstallSequence::CreateImageFolder() {
    StepOutcome created;
    created.error = files().EnsureDirectory(SETUP_ICON_DIR);
    if (created.error == WIN_OK) {
        created.runLog = StepLine(StepName(), WIN_OK);
    }
    return created;
}

StepOutcome InstallSequence::MoveFiles() {
    StepOutcome moved;
    moved.error = files().MoveFilesIntoPlace();
    return moved;
}

// The setup program that runs now, byte for byte (a signature on it still holds), so that the
// machine can remove the product without the download. Inside the program folder it comes and
// goes with the installation, and only administrators can change it.
StepOutcome InstallSequence::KeepSetup() {
    StepOutcome kept;
    kept.error = files().KeepOwnImage(SETUP_KEPT_SETUP);
    return kept;
}

// The entry the install replaces is kept until the commit, which lets it go; a restore gives it
// back. Registered before the first write: a write cut off halfway is given back too. Another
// product's entry at the key stays as it is: the product is installed, unlisted, and the log says
// why.
StepOutcome InstallSequence::WriteEntry() {
    transaction().Made(
        "the Apps & features entry",
        [this] {
            return Undone{m_entry.GiveBack(), {}, {}};
        },
        [this] {
            Removal released;
            released.error = m_entry.Commit();
            return released;
        });
    EntryOutcome entry = m_entry.Write(m_upgrade.Id());
    StepOutcome written;
    written.error = entry.error;
    written.runLog = entry.note;
    written.failure = entry.detail;
    return written;
}

StepOutcome InstallSequence::DeleteTemp() {
    Removal removal = files().DeleteTempDirectory();
    StepOutcome deleted;
    deleted.error = removal.error;
    deleted.runLog = StepLine(StepName(), removal.error);
    deleted.Left(removal);
    return deleted;
}

// A failed creation is tried once more at once; a second failure gives the old installation
// back, since a service that is not registered cannot start.
StepOutcome InstallSequence::CreateService() {
    StepOutcome create;
    ServiceOutcome created = service().CreateProductService();
    RecordNow(create, StepName(), created.error);
    FormatTo(create.runLog, "Install ZIL Service retcode = %d\r\n", created.error);
    if (created.error != 0) {
        observer().ShowStatus(created.statusLine);
        created = service().CreateProductService();
        RecordNow(create, StepName(), created.error);
    }
    create.status = created.statusLine;
    create.runLog += created.statusLine;
    if (created.error != 0) {
        create.runLog += "Install NT Service Failed XXXXX\r\n";
        create.error = created.error;
        return create;
    }
    m_upgrade.MadeService();
    return create;
}

// A service that does not start usually lacks the runtime: install that, clear up what its
// installer leaves at the drive roots, and try once more.
StepOutcome InstallSequence::StartService() {
    StepOutcome start;
    ServiceOutcome started = service().StartOrStopWithRetry(SERVICE_MODE_START, &observer());
    RecordNow(start, StepName(), started.error);
    start.runLog = StartLines(started);
    if (started.error != 0) {
        start.runLog += "Start Service Failed XXXXX Install Vcredist_x86 \r\n";
        std::uint32_t redistExit = 0;
        bool ran = files().RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS, redistExit);
        RecordNow(start, "Install Runtime", WIN_OK,
                  !ran              ? "its installer could not be started"
                  : redistExit == 0 ? ""
                                    : Format("exit code %d", redistExit).c_str());
        // The runtime is complete only once Windows restarts: so is the product that needs it.
        bool runtimeRestart = ran && (redistExit == REDIST_EXIT_RESTART_REQUIRED ||
                                      redistExit == REDIST_EXIT_RESTART_STARTED);
        files().SweepRedistLeftovers();
        started = service().StartOrStopWithRetry(SERVICE_MODE_START, &observer());
        RecordNow(start, StepName(), started.error);
        if (started.error != 0) {
            start.error = started.error;
            start.status = started.statusLine;
            return start;
        }
        start.runLog += started.statusLine;
        if (runtimeRestart) {
            start.restart.push_back(
                Format("the runtime redistributable (its installer ended %d)", redistExit));
        }
    }
    start.runLog += "Start Service Success !!!\r\n";
    return start;
}

// The new installation stays: nothing of the old one is kept for a later run to bring back.
StepOutcome InstallSequence::CommitUpgrade() {
    StepOutcome committed;
    for (const Removal& removal : m_upgrade.Commit()) {
        if (removal.error != WIN_OK && committed.error == WIN_OK) {
            committed.error = removal.error;
            committed.runLog += StepLine(StepName(), removal.error);
        }
        committed.Left(removal);
    }
    return committed;
}

// The running service is told that it was installed, and setup's own helpers go.
StepOutcome InstallSequence::SignalStarted() {
    StepOutcome signalled = SendControl(SERVICE_CODE_STARTED, SEQUENCE_PAUSE_STEP);
    // Logged whatever the control's outcome: the line the product has always written here,
    // which log readers in the field match, although setup itself writes no registry value.
    signalled.runLog = "Write HKLM Launch_ZIL success !!!\r\n";
    files().DeleteSetupTools();
    signalled.showRunLog = true;
    return signalled;
}

StepOutcome InstallSequence::Launch() {
    StepOutcome launched = SendControl(SERVICE_CODE_LAUNCH);
    if (CommandLine()) {
        Pause(SEQUENCE_PAUSE_CLOSE);
    }
    return launched;
}

void InstallSequence::Conclude() {
    RunEnd end;
    end.exitCode = SuccessCode();
    end.box = SuccessMessage("Install ZIL Success", end.exitCode);
    End(end);
}

// A step failed before the new installation was complete: back to how the machine was. What
// cannot be given back is named, and the record stays for the next run to finish.
void InstallSequence::EndWithRestore(const char* step, const StepOutcome& failed) {
    AddToRunLog(StepLine(step, failed.error));
    Restoration restored = GiveBack();
    RecordStep("Restore Old ZIL Installation", restored.error);
    m_upgrade.Restored(restored);
    files().DeleteTempDirectory();
    EndWithFailure("Install ZIL Failed", SETUP_EXIT_FAILURE);
}

// The new files stay, as the product has always left them when its service would not start; the
// old installation has been let go. A person sees the box and keeps the dialog to read the log;
// a command-line run has nobody to read a box, so the text goes to the log and the run ends.
void InstallSequence::EndKeepingChanges(const StepOutcome& failed) {
    const char* message = "Start ZIL Service Failed ";
    bool commandLine = CommandLine();
    RunEnd end;
    end.exitCode = SETUP_EXIT_FAILURE;
    if (commandLine) {
        end.logged = message;
        end.logged += "\r\n";
    }
    end.box = message;
    end.afterBox = failed.status;
    end.publish = failed.status.empty();
    end.close = commandLine;
    End(end);
}
