#include "setup/InstallSequence.h"

#include "platform/Format.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"
#include "setup/StepLine.h"
#include "sfx/ExtractCodes.h"

InstallSequence::InstallSequence(Platform& platform, RunMode mode, SfxExtractor& extractor,
                                 SetupLogFile& log, SequenceObserver& observer)
    : Sequence(platform, mode, extractor, log, observer), m_upgrade(platform, m_files, m_service) {}

void InstallSequence::Run() {
    RunSteps(Steps());
}

// Every step from the old service's stop to the commit gives the old installation back when it
// fails: a step added among them is covered without more ado.
std::vector<InstallStep> InstallSequence::Steps() {
    using S = InstallSequence;
    using F = InstallStep;
    return {
        {"Prepare ZIL Temp Directory", [](S& s) { return s.PrepareTemp(); }, -1,
         F::INSTALL_STEP_ENDED},
        {"Extract ZIL Files", [](S& s) { return s.Extract(); }, -1, F::INSTALL_STEP_ENDED},
        {"Register ZIL WMI Classes", [](S& s) { return s.RegisterWmiClasses(); }, -1,
         F::INSTALL_STEP_GOES_ON},
        {"Query ZIL Service", [](S& s) { return s.QueryOldService(); }, -1,
         F::INSTALL_STEP_RESTORE},
        {"Stop ZIL Service", [](S& s) { return s.StopOldService(); }, -1, F::INSTALL_STEP_RESTORE},
        {"Restore Interrupted ZIL Upgrade", [](S& s) { return s.ResumeInterruptedUpgrade(); }, -1,
         F::INSTALL_STEP_RESTORE},
        {"Record ZIL Upgrade", [](S& s) { return s.RecordUpgrade(); }, -1, F::INSTALL_STEP_RESTORE},
        {"Check Old ZIL Files", [](S& s) { return s.CheckOldFiles(); }, -1,
         F::INSTALL_STEP_RESTORE},
        {"Delete ZIL Service", [](S& s) { return s.DeleteOldService(); }, -1,
         F::INSTALL_STEP_RESTORE},
        {"Set Aside Old ZIL Directory", [](S& s) { return s.SetAsideOldFolder(); }, 60,
         F::INSTALL_STEP_RESTORE},
        {"Create ZIL Directory", [](S& s) { return s.CreateProgramFolder(); }, 75,
         F::INSTALL_STEP_RESTORE},
        {"Create ZIL Directory", [](S& s) { return s.CreateImageFolder(); }, 80,
         F::INSTALL_STEP_RESTORE},
        {"Move ZIL Files", [](S& s) { return s.MoveFiles(); }, 85, F::INSTALL_STEP_RESTORE},
        {"Delete ZIL Temp Directory", [](S& s) { return s.DeleteTemp(); }, 89,
         F::INSTALL_STEP_GOES_ON},
        {"Create ZIL Service", [](S& s) { return s.CreateService(); }, 93, F::INSTALL_STEP_GOES_ON},
        {"Start ZIL Service", [](S& s) { return s.StartService(); }, 95, F::INSTALL_STEP_ENDED},
        {"Remove Old ZIL Directory", [](S& s) { return s.CommitUpgrade(); }, -1,
         F::INSTALL_STEP_GOES_ON},
        // Moves the bar to 100 itself, before the run ends.
        {"Launch ZIL", [](S& s) { return s.SignalAndFinish(); }, -1, F::INSTALL_STEP_ENDED},
    };
}

void InstallSequence::RunSteps(const std::vector<InstallStep>& steps) {
    m_log.Begin("install", IsCommandLine(m_mode));
    m_observer.SetCurrentPos(0);
    for (const InstallStep& step : steps) {
        // A step that told the log's details more itself (the entry that failed an extraction,
        // each start of the service) is not recorded again.
        std::size_t recorded = m_log.Details().StepCount();
        Win32Error error = step.run(*this);
        if (m_log.Details().StepCount() == recorded) {
            m_log.Step(step.name, error);
        }
        if (error != WIN_OK && step.onFailure == InstallStep::INSTALL_STEP_ENDED) {
            return;
        }
        if (error != WIN_OK && step.onFailure == InstallStep::INSTALL_STEP_RESTORE) {
            EndWithOldInstallation(step.name, error);
            return;
        }
        if (step.position >= 0) {
            m_observer.SetCurrentPos(step.position);
        }
    }
}

Win32Error InstallSequence::PrepareTemp() {
    return PrepareTempDirectory();
}

// Nothing of the old installation has been touched yet, and a failure keeps it so.
Win32Error InstallSequence::Extract() {
    int result = ExtractPayload(true);
    if (result != SFX_OK) {
        return static_cast<Win32Error>(result);
    }
    m_observer.SetCurrentLabel("Current Progress");
    m_observer.SetTotalLabel("Total Progress");
    m_observer.Refresh();
    return WIN_OK;
}

Win32Error InstallSequence::RegisterWmiClasses() {
    RunMofScript(SETUP_INSTALL_MOF_SCRIPT, "Register ZIL WMI Classes");
    Pause(SEQUENCE_PAUSE_STEP);
    return WIN_OK;
}

// Whether the product runs cannot be told: its files must not be replaced under it.
Win32Error InstallSequence::QueryOldService() {
    ServiceQuery query = m_service.QueryServiceState();
    m_log.Step("Query ZIL Service", static_cast<Win32Error>(query.error));
    ShowStatus(query.statusLine);
    m_runLog += query.statusLine;
    if (query.error != 0 && query.error != WIN_SERVICE_DOES_NOT_EXIST) {
        return static_cast<Win32Error>(query.error);
    }
    m_oldServiceRan = query.state == SVC_RUNNING;
    if (m_oldServiceRan) {
        m_upgrade.NoteServiceRan();
    }
    return WIN_OK;
}

// The running product gets its close request and a moment to act on it before the stop. One
// that would not stop keeps running, and keeps its files.
Win32Error InstallSequence::StopOldService() {
    if (!m_oldServiceRan) {
        return WIN_OK;
    }
    Pause(SEQUENCE_PAUSE_CONTROL);
    SendControl(SERVICE_CODE_CLOSE);
    Pause(SEQUENCE_PAUSE_CONTROL);
    ServiceOutcome stopped = m_service.StartOrStopWithRetry(SERVICE_MODE_STOP, this);
    m_runLog += stopped.statusLine;
    return stopped.error != 0 && StillRunning() ? static_cast<Win32Error>(stopped.error) : WIN_OK;
}

// A service that cannot be asked any more may well have stopped; the install then goes on as it
// would.
bool InstallSequence::StillRunning() {
    ServiceQuery query = m_service.QueryServiceState();
    return query.error == 0 && query.state != SVC_STOPPED;
}

// Only now, with no service running from the program folder, may an upgrade that was cut off
// be finished: its old folder comes back before this upgrade sets it aside again.
Win32Error InstallSequence::ResumeInterruptedUpgrade() {
    Upgrade::Resumption resumed = m_upgrade.ResumeInterrupted();
    m_runLog += resumed.note;
    if (resumed.outcome == Upgrade::Interrupted::Resumed) {
        m_runLog += StepLine("Restore Interrupted ZIL Upgrade", WIN_OK);
    }
    return resumed.error;
}

Win32Error InstallSequence::RecordUpgrade() {
    Upgrade::Beginning begun = m_upgrade.Begin();
    m_runLog += begun.note;
    return begun.error;
}

// A file of the old installation that another program holds open would make the folder's
// move fail halfway, or leave that program without its files.
Win32Error InstallSequence::CheckOldFiles() {
    FileInUse inUse = m_files.FirstFileInUse(SETUP_PROGRAM_DIR);
    if (inUse.error != WIN_OK) {
        m_runLog += NoteLine(inUse.path, "held open by another program");
    }
    return inUse.error;
}

Win32Error InstallSequence::DeleteOldService() {
    ServiceOutcome deleted = m_upgrade.RemoveService();
    m_log.Step("Delete ZIL Service", static_cast<Win32Error>(deleted.error));
    ShowStatus(deleted.statusLine);
    m_runLog += deleted.statusLine;
    bool gone = deleted.error == 0 || deleted.error == WIN_SERVICE_DOES_NOT_EXIST;
    return gone ? WIN_OK : static_cast<Win32Error>(deleted.error);
}

Win32Error InstallSequence::SetAsideOldFolder() {
    Win32Error error = m_upgrade.SetAsideFolder();
    if (error == WIN_OK) {
        // The line the product has always logged here; log readers in the field match it, so
        // its spelling stays.
        m_runLog += "Unistall ZIL Success !!!\r\n";
        m_observer.Refresh();
    }
    return error;
}

Win32Error InstallSequence::CreateProgramFolder() {
    return m_files.EnsureDirectory(SETUP_PROGRAM_DIR);
}

Win32Error InstallSequence::CreateImageFolder() {
    Win32Error error = m_files.EnsureDirectory(SETUP_ICON_DIR);
    if (error == WIN_OK) {
        m_runLog += StepLine("Create ZIL Directory", WIN_OK);
    }
    return error;
}

Win32Error InstallSequence::MoveFiles() {
    return m_files.MoveFilesIntoPlace();
}

Win32Error InstallSequence::DeleteTemp() {
    Removal removal = m_files.DeleteTempDirectory();
    LogStep("Delete ZIL Temp Directory", removal.error);
    LogRetired(removal);
    return removal.error;
}

// A failed creation is tried once more at once; the start then shows whether it mattered.
Win32Error InstallSequence::CreateService() {
    ServiceOutcome created = m_service.CreateProductService();
    m_log.Step("Create ZIL Service", static_cast<Win32Error>(created.error));
    ShowStatus(created.statusLine);
    m_runLog += Format("Install ZIL Service retcode = %d\r\n", created.error);
    if (created.error == 0) {
        m_runLog += created.statusLine;
        return WIN_OK;
    }
    ServiceOutcome again = m_service.CreateProductService();
    m_log.Step("Create ZIL Service", static_cast<Win32Error>(again.error));
    ShowStatus(again.statusLine);
    m_runLog += again.statusLine;
    if (again.error != 0) {
        m_runLog += "Install NT Service Failed XXXXX\r\n";
    }
    return static_cast<Win32Error>(again.error);
}

// A service that does not start usually lacks the runtime: install that, clear up what its
// installer leaves at the drive roots, and try once more.
Win32Error InstallSequence::StartService() {
    ServiceOutcome started = m_service.StartOrStopWithRetry(SERVICE_MODE_START, this);
    m_log.Step("Start ZIL Service", static_cast<Win32Error>(started.error));
    m_runLog += Format("START ZIL Service retcode = %d\r\n", started.error);
    m_runLog += started.statusLine;
    if (started.error != 0) {
        m_runLog += "Start Service Failed XXXXX Install Vcredist_x86 \r\n";
        bool ran = m_files.RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS);
        m_log.Details().Step("Install Runtime", ran ? "" : "its installer could not be started");
        m_files.SweepRedistLeftovers();
        started = m_service.StartOrStopWithRetry(SERVICE_MODE_START, this);
        m_log.Step("Start ZIL Service", static_cast<Win32Error>(started.error));
        if (started.error != 0) {
            EndWithServiceFailure(started);
            return static_cast<Win32Error>(started.error);
        }
        m_runLog += started.statusLine;
    }
    m_runLog += "Start Service Success !!!\r\n";
    return WIN_OK;
}

// The new installation stays: nothing of the old one is kept for a later run to bring back.
Win32Error InstallSequence::CommitUpgrade() {
    Removal removal = m_upgrade.Commit();
    if (removal.error != WIN_OK) {
        LogStep("Remove Old ZIL Directory", removal.error);
    }
    LogRetired(removal);
    return removal.error;
}

// The running service is told to launch the product, and setup's own helpers go.
Win32Error InstallSequence::SignalAndFinish() {
    SendControl(SERVICE_CODE_STARTED);
    // Logged whatever the control's outcome: the line the product has always written here,
    // which log readers in the field match, although setup itself writes no registry value.
    m_runLog += "Write HKLM Launch_ZIL success !!!\r\n";
    Pause(SEQUENCE_PAUSE_STEP);
    m_files.DeleteSetupTools();
    PublishRunLog();
    m_observer.SetCurrentPos(100);
    if (IsCommandLine(m_mode)) {
        SendControl(SERVICE_CODE_LAUNCH);
        Pause(SEQUENCE_PAUSE_CLOSE);
        Finish(SETUP_EXIT_SUCCESS, true);
        return WIN_OK;
    }
    PublishRunLog();
    m_observer.SetCurrentPos(100);
    SendControl(SERVICE_CODE_LAUNCH);
    WriteLog(SETUP_EXIT_SUCCESS);
    m_observer.ShowMessage("Install ZIL Success");
    Finish(SETUP_EXIT_SUCCESS, true);
    return WIN_OK;
}

void InstallSequence::EndWithOldInstallation(const char* step, Win32Error error) {
    m_runLog += StepLine(step, error);
    Restoration restored = m_upgrade.Restore(this);
    m_log.Step("Restore Old ZIL Installation", restored.error);
    m_runLog += restored.runLog;
    m_files.DeleteTempDirectory();
    EndWithFailure("Install ZIL Failed", SETUP_EXIT_FAILURE);
}

// The new files stay, as the product has always left them when its service would not start; the
// old installation is let go. A person sees the box and keeps the dialog to read the log; a
// command-line run has nobody to read a box, so the text goes to the log and the run ends.
void InstallSequence::EndWithServiceFailure(const ServiceOutcome& started) {
    CommitUpgrade();
    const String message = "Start ZIL Service Failed ";
    bool commandLine = IsCommandLine(m_mode);
    if (commandLine) {
        m_runLog += message + "\r\n";
    } else {
        m_observer.ShowMessage(message);
    }
    m_runLog += started.statusLine;
    PublishRunLog();
    Finish(SETUP_EXIT_FAILURE, commandLine);
}
