#include "setup/InstallSequence.h"

#include "platform/Format.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"

void InstallSequence::Run() {
    m_log.Begin("install", IsCommandLine(m_mode));
    m_observer.SetCurrentPos(0);
    if (!PrepareTempDirectory() || !ExtractPayload(true)) {
        return;
    }
    m_observer.SetCurrentLabel("Current Progress");
    m_observer.SetTotalLabel("Total Progress");
    m_observer.Refresh();
    RunMofScript(SETUP_INSTALL_MOF_SCRIPT, "Register ZIL WMI Classes");
    Pause(SEQUENCE_PAUSE_STEP);
    if (!RemoveOldInstallation() || !PlaceFiles()) {
        return;
    }
    CreateService();
    ServiceOutcome started = StartService();
    if (started.error != 0) {
        EndWithServiceFailure(started);
        return;
    }
    EndWithSuccess();
}

// The installation that is there stops, loses its service and has its folder set aside.
bool InstallSequence::RemoveOldInstallation() {
    ServiceQuery query = m_service.QueryServiceState();
    ShowStatus(query.statusLine);
    m_runLog += query.statusLine;
    // Whether the product runs cannot be told: its files must not be replaced under it.
    if (query.error != 0 && query.error != WIN_SERVICE_DOES_NOT_EXIST) {
        EndWithOldInstallation("Query ZIL Service", query.error, false);
        return false;
    }
    m_log.Step("Query ZIL Service", query.error);  // a failure was recorded on its way out
    m_oldServiceRan = query.state == SVC_RUNNING;
    if (m_oldServiceRan) {
        // The running product gets its close request and a moment to act on it before the stop.
        Pause(SEQUENCE_PAUSE_CONTROL);
        SendControl(SEQUENCE_CODE_CLOSE);
        Pause(SEQUENCE_PAUSE_CONTROL);
        ServiceOutcome stopped = m_service.StartOrStopWithRetry(SERVICE_MODE_STOP, this);
        m_runLog += stopped.statusLine;
        if (stopped.error != 0 && StillRunning()) {
            EndWithOldInstallation("Stop ZIL Service", stopped.error, false);
            return false;
        }
        m_log.Step("Stop ZIL Service", stopped.error);
    }
    ServiceOutcome deleted = m_service.DeleteProductService();
    m_log.Step("Delete ZIL Service", deleted.error);
    ShowStatus(deleted.statusLine);
    m_runLog += deleted.statusLine;
    m_oldServiceRemoved = deleted.error == 0;
    if (Win32Error error = m_files.SetAsideProgramDirectory(); error != WIN_OK) {
        EndWithOldInstallation("Set Aside Old ZIL Directory", error, false);
        return false;
    }
    m_log.Step("Set Aside Old ZIL Directory", WIN_OK);
    m_observer.SetCurrentPos(60);
    m_runLog += "Unistall ZIL Success !!!\r\n";
    m_observer.Refresh();
    return true;
}

// A service that would not stop keeps its files: replacing them under it would break it. One
// that cannot be asked any more may well have stopped; the install then goes on as it would.
bool InstallSequence::StillRunning() {
    ServiceQuery query = m_service.QueryServiceState();
    return query.error == 0 && query.state != SVC_STOPPED;
}

// The new files into the program directory and its image folder; then the old folder goes.
bool InstallSequence::PlaceFiles() {
    Win32Error error = m_files.EnsureDirectory(SETUP_PROGRAM_DIR);
    m_observer.SetCurrentPos(75);
    if (error == WIN_OK) {
        error = m_files.EnsureDirectory(SETUP_ICON_DIR);
        m_observer.SetCurrentPos(80);
    }
    if (error != WIN_OK) {
        EndWithOldInstallation("Create ZIL Directory", error, true);
        return false;
    }
    m_log.Step("Create ZIL Directory", WIN_OK);
    m_runLog += "Create ZIL Directory Success !!!\r\n";
    error = m_files.MoveFilesIntoPlace();
    m_observer.SetCurrentPos(85);
    if (error != WIN_OK) {
        EndWithOldInstallation("Move ZIL Files", error, true);
        return false;
    }
    m_log.Step("Move ZIL Files", WIN_OK);
    m_files.RetireSetAside();
    error = m_files.DeleteTempDirectory();
    m_observer.SetCurrentPos(89);
    LogStep("Delete ZIL Temp Directory", error);
    return true;
}

void InstallSequence::EndWithOldInstallation(const char* step, Win32Error error, bool filesPlaced) {
    LogStep(step, error);
    Win32Error restored = WIN_OK;
    if (filesPlaced) {
        bool setAside = m_files.HasSetAside();
        restored = m_files.RestoreProgramDirectory();
        if (setAside) {
            LogStep("Restore Old ZIL Directory", restored);
        }
    }
    // While the old folder could not come back, it stays where it waits: the next run brings it.
    if (restored == WIN_OK) {
        m_files.DeleteTempDirectory();
    }
    RegisterOldService();
    EndWithFailure("Install ZIL Failed", SETUP_EXIT_FAILURE);
}

// The service that was unregistered for the upgrade is registered again, and runs again if it
// ran before.
void InstallSequence::RegisterOldService() {
    if (!m_oldServiceRemoved) {
        return;
    }
    ServiceOutcome created = m_service.CreateProductService();
    ShowStatus(created.statusLine);
    m_runLog += created.statusLine;
    if (created.error == 0 && m_oldServiceRan) {
        ServiceOutcome started = m_service.StartOrStopWithRetry(SERVICE_MODE_START, this);
        m_runLog += Format("START ZIL Service retcode = %d\r\n", started.error);
        m_runLog += started.statusLine;
    }
}

// A failed creation is tried once more at once; the start then shows whether it mattered.
void InstallSequence::CreateService() {
    ServiceOutcome created = m_service.CreateProductService();
    m_log.Step("Create ZIL Service", created.error);
    ShowStatus(created.statusLine);
    m_observer.SetCurrentPos(93);
    m_runLog += Format("Install ZIL Service retcode = %d\r\n", created.error);
    if (created.error == 0) {
        m_runLog += created.statusLine;
        return;
    }
    ServiceOutcome again = m_service.CreateProductService();
    m_log.Step("Create ZIL Service", again.error);
    ShowStatus(again.statusLine);
    m_runLog += again.statusLine;
    if (again.error != 0) {
        m_runLog += "Install NT Service Failed XXXXX\r\n";
    }
}

// A service that does not start usually lacks the runtime: install that, clear up what its
// installer leaves at the drive roots, and try once more.
ServiceOutcome InstallSequence::StartService() {
    ServiceOutcome started = m_service.StartOrStopWithRetry(SERVICE_MODE_START, this);
    m_log.Step("Start ZIL Service", started.error);
    m_runLog += Format("START ZIL Service retcode = %d\r\n", started.error);
    m_runLog += started.statusLine;
    if (started.error == 0) {
        return started;
    }
    m_runLog += "Start Service Failed XXXXX Install Vcredist_x86 \r\n";
    bool ran = m_files.RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS);
    m_log.Details().Step("Install Runtime", ran ? "" : "its installer could not be started");
    m_files.SweepRedistLeftovers();
    ServiceOutcome again = m_service.StartOrStopWithRetry(SERVICE_MODE_START, this);
    m_log.Step("Start ZIL Service", again.error);
    if (again.error == 0) {
        m_runLog += again.statusLine;
    }
    return again;
}

// A person sees the box and keeps the dialog to read the log; a command-line run has nobody to
// read a box, so the text goes to the log and the run ends.
void InstallSequence::EndWithServiceFailure(const ServiceOutcome& started) {
    const std::string message = "Start ZIL Service Failed ";
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

// The running service is told to launch the product, and setup's own helpers go.
void InstallSequence::EndWithSuccess() {
    m_runLog += "Start Service Success !!!\r\n";
    m_observer.SetCurrentPos(95);
    SendControl(SEQUENCE_CODE_STARTED);
    m_runLog += "Write HKLM Launch_ZIL success !!!\r\n";
    Pause(SEQUENCE_PAUSE_STEP);
    m_files.DeleteSetupTools();
    PublishRunLog();
    m_observer.SetCurrentPos(100);
    if (IsCommandLine(m_mode)) {
        SendControl(SEQUENCE_CODE_LAUNCH);
        Pause(SEQUENCE_PAUSE_CLOSE);
        Finish(SETUP_EXIT_SUCCESS, true);
        return;
    }
    PublishRunLog();
    m_observer.SetCurrentPos(100);
    SendControl(SEQUENCE_CODE_LAUNCH);
    WriteLog(SETUP_EXIT_SUCCESS);
    m_observer.ShowMessage("Install ZIL Success");
    Finish(SETUP_EXIT_SUCCESS, true);
}
