#include "setup/UninstallSequence.h"

#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"
#include "setup/StepLine.h"

UninstallSequence::UninstallSequence(const SequenceContext& context)
    : Sequence(context),
      m_upgrade(platform(), files(), service(), transaction(), observer()),
      m_entry(platform()) {}

void UninstallSequence::Run() {
    RunTable("uninstall", Steps());
}

// No failure but the temporary folder's, and a running service that would not stop, changes
// the course: what is left behind at the end makes the run a failure.
StepTable UninstallSequence::Steps() {
    using S = UninstallSequence;
    using F = StepFailure;
    static constexpr UninstallStep steps[] = {
        {"Put Back ZIL Setup", RunStep<Sequence, &S::PutBackKeptSetup>, -1, F::GoesOn},
        {"Remove ZIL Setup Run Folder", RunStep<Sequence, &S::ClearRunFolders>, -1, F::GoesOn},
        {"Create ZIL Temp Directory", RunStep<Sequence, &S::PrepareTempDirectory>, -1, F::Ends},
        {"Extract ZIL Files", RunStep<S, &S::Extract>, -1, F::GoesOn},
        {"Unregister ZIL WMI Classes", RunStep<S, &S::UnregisterWmiClasses>, 58, F::GoesOn},
        {"Send ZIL Service Control 139", RunStep<S, &S::SendClose>, 66, F::GoesOn},
        {"Send ZIL Service Control 140", RunStep<S, &S::SendUninstall>, 78, F::GoesOn},
        {"Send ZIL Service Control 138", RunStep<S, &S::SendUninstallLast>, 83, F::GoesOn},
        {"Query ZIL Service", RunStep<S, &S::QueryService>, 89, F::GoesOn},
        {"Stop ZIL Service", RunStep<S, &S::StopService>, -1, F::Ends},
        {"Remove Interrupted ZIL Upgrade", RunStep<S, &S::ClearInterruptedUpgrade>, -1, F::GoesOn},
        {"Remove Old ZIL Leftovers", RunStep<S, &S::ClearLeftovers>, -1, F::GoesOn},
        {"Delete ZIL Service", RunStep<S, &S::DeleteService>, 93, F::GoesOn},
        {"Delete ZIL Directory", RunStep<S, &S::DeleteProgramFolder>, 98, F::GoesOn},
        {"Delete ZIL Uninstall Entry", RunStep<S, &S::DeleteEntry>, -1, F::GoesOn},
        {"Delete ZIL Temp Directory", RunStep<S, &S::DeleteTemp>, 100, F::GoesOn},
    };
    return steps;
}

// The archive only brings the uninstall script: without it the product still goes.
StepOutcome UninstallSequence::Extract() {
    return ExtractPayload(false, "Current Status", "Total Status");
}

// The product hears, a pause apart each, that it is about to go.
StepOutcome UninstallSequence::UnregisterWmiClasses() {
    Pause(SEQUENCE_PAUSE_STEP);
    return RunMofScript(SETUP_UNINSTALL_MOF_SCRIPT);
}

StepOutcome UninstallSequence::SendClose() {
    Pause(SEQUENCE_PAUSE_STEP);
    return SendControl(SERVICE_CODE_CLOSE, SEQUENCE_PAUSE_STEP);
}

StepOutcome UninstallSequence::SendUninstall() {
    return SendControl(SERVICE_CODE_UNINSTALL, SEQUENCE_PAUSE_STEP);
}

StepOutcome UninstallSequence::SendUninstallLast() {
    return SendControl(SERVICE_CODE_UNINSTALL_LAST, SEQUENCE_PAUSE_STEP);
}

StepOutcome UninstallSequence::QueryService() {
    ServiceQuery query = service().QueryServiceState();
    // One still on its way (stopping, starting) runs from the program folder just the same; and
    // one whose state cannot be read may run: its files are not removed under it unless it stops.
    bool unknown = query.error != 0 && query.error != WIN_SERVICE_DOES_NOT_EXIST;
    m_serviceRuns = unknown || (query.error == 0 && query.state != SVC_STOPPED);
    return ServiceReport(query.error, query.statusLine);
}

// A service that would not stop is left running with its files: deleting them under it would
// break it, and marking it for deletion would leave it half removed.
StepOutcome UninstallSequence::StopService() {
    StepOutcome stop;
    if (!m_serviceRuns) {
        return stop;
    }
    ServiceOutcome stopped = service().StartOrStopWithRetry(SERVICE_MODE_STOP, &observer());
    stop.runLog = stopped.statusLine;
    if (stopped.error != 0) {
        stop.error = stopped.error;
        stop.runLog += StepLine(StepName(), stop.error);
    }
    return stop;
}

StepOutcome UninstallSequence::ClearInterruptedUpgrade() {
    Upgrade::Resumption cleared = m_upgrade.ResumeInterrupted(false);
    StepOutcome clear;
    clear.runLog = cleared.note;
    clear.Left(cleared.left);
    clear.recordedError = cleared.error;
    return clear;
}

StepOutcome UninstallSequence::ClearLeftovers() {
    StepOutcome cleared = m_upgrade.ClearLeftovers();
    m_leftoversStay = cleared.error != WIN_OK;
    return cleared;
}

StepOutcome UninstallSequence::DeleteService() {
    ServiceOutcome deleted = service().DeleteProductService();
    return ServiceReport(deleted.error, deleted.statusLine);
}

StepOutcome UninstallSequence::DeleteProgramFolder() {
    Removal program = files().DeleteProgramDirectory();
    StepOutcome removal;
    removal.recordedError = program.error;
    removal.Left(program);
    return removal;
}

// The entry goes with the program folder: Apps & features must not offer a product that is
// gone, nor lose one that is still there. Another product's entry at the key is theirs: it
// stays, named in the log, and keeps no uninstall from succeeding.
StepOutcome UninstallSequence::DeleteEntry() {
    StepOutcome removal;
    if (!platform().files().findFile(SETUP_PROGRAM_DIR)) {
        EntryOutcome removed = m_entry.Remove();
        m_entryLeft = removed.error;
        removal.recordedError = removed.error;
        removal.runLog = removed.note;
        removal.failure = removed.detail;
    }
    return removal;
}

StepOutcome UninstallSequence::DeleteTemp() {
    Removal temp = files().DeleteTempDirectory();
    StepOutcome removal;
    removal.recordedError = temp.error;
    removal.Left(temp);
    return removal;
}

// Claiming success for a product that is still there would send a person (or a deployment
// tool) away with a broken machine.
void UninstallSequence::Conclude() {
    bool failed = InstallationLeftBehind();
    observer().Refresh();
    RunEnd end;
    end.logged = failed ? "Uninstall ZIL Failed !!!\r\n" : "Unistall ZIL Success !!!\r\n";
    end.exitCode = failed ? SETUP_EXIT_FAILURE : SuccessCode();
    // A command-line run's status edit keeps its last line: nobody reads the dialog.
    end.publish = !CommandLine();
    end.box = failed ? String("Uninstall ZIL Failed")
                     : SuccessMessage("Uninstall ZIL Success", end.exitCode);
    End(end);
}

// The service counts as gone only when the manager no longer knows it: one marked for deletion
// is still there (running, starting, or held open) and may never go. Whatever cannot be checked
// is counted as left behind. Both folders must be gone too, and setup's own leftovers beside the
// program folder gone or marked for the restart.
bool UninstallSequence::InstallationLeftBehind() {
    ServiceQuery query = service().QueryServiceState();
    FileSystem& machine = platform().files();
    return m_entryLeft != WIN_OK || m_leftoversStay || query.error != WIN_SERVICE_DOES_NOT_EXIST ||
           machine.findFile(SETUP_PROGRAM_DIR) || machine.findFile(files().TempDirectory());
}
