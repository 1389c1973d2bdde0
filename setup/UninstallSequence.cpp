#include "setup/UninstallSequence.h"

#include <memory>

#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"

void UninstallSequence::Run() {
    bool commandLine = IsCommandLine(m_mode);
    m_log.Begin("uninstall", commandLine);
    m_observer.SetCurrentPos(0);
    if (!PrepareTempDirectory()) {
        return;
    }
    ExtractPayload(false);
    m_observer.SetCurrentLabel("Current Status");
    m_observer.SetTotalLabel("Total Status");
    m_observer.Refresh();
    SignalService();
    RemoveInstallation();
    // Claiming success for a product that is still there would send a person (or a deployment
    // tool) away with a broken machine.
    bool failed = InstallationLeftBehind();
    m_runLog += failed ? "Uninstall ZIL Failed !!!\r\n" : "Unistall ZIL Success !!!\r\n";
    m_observer.Refresh();
    int exitCode = failed ? SETUP_EXIT_FAILURE : SETUP_EXIT_SUCCESS;
    if (!commandLine) {
        PublishRunLog();
        WriteLog(exitCode);
        m_observer.ShowMessage(failed ? "Uninstall ZIL Failed" : "Uninstall ZIL Success");
    }
    Finish(exitCode, true);
}

// The product hears, a pause apart each, that it is about to go.
void UninstallSequence::SignalService() {
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(58);
    RunMofScript(SETUP_UNINSTALL_MOF_SCRIPT, "Unregister ZIL WMI Classes");
    Pause(SEQUENCE_PAUSE_STEP);
    SendControl(SEQUENCE_CODE_CLOSE);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(66);
    SendControl(SEQUENCE_CODE_UNINSTALL);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(78);
    SendControl(SEQUENCE_CODE_UNINSTALL_LAST);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(83);
}

// The service stopped if it runs, then deleted; then both directories.
void UninstallSequence::RemoveInstallation() {
    ServiceQuery query = m_service.QueryServiceState();
    m_log.Step("Query ZIL Service", query.error);
    ShowStatus(query.statusLine);
    m_observer.SetCurrentPos(89);
    m_runLog += query.statusLine;
    if (query.state == SVC_RUNNING) {
        ServiceOutcome stopped = m_service.StartOrStopWithRetry(SERVICE_MODE_STOP, this);
        m_log.Step("Stop ZIL Service", stopped.error);
        m_runLog += stopped.statusLine;
        // Marked for deletion, a running service is still there until it stops.
        m_serviceStillRuns = stopped.error != 0;
    }
    ServiceOutcome deleted = m_service.DeleteProductService();
    m_log.Step("Delete ZIL Service", deleted.error);
    ShowStatus(deleted.statusLine);
    m_observer.SetCurrentPos(93);
    m_runLog += deleted.statusLine;
    m_log.Step("Delete ZIL Directory", m_files.DeleteProgramDirectory());
    m_observer.SetCurrentPos(98);
    m_log.Step("Delete ZIL Temp Directory", m_files.DeleteTempDirectory());
    m_observer.SetCurrentPos(100);
}

// The service counts as gone when the manager no longer knows it, or has it marked for deletion
// (which completes once it has stopped) and it did stop; whatever cannot be checked is counted as
// left behind. Both folders must be gone too.
bool UninstallSequence::InstallationLeftBehind() {
    Win32Error serviceLeft = WIN_OK;
    std::unique_ptr<ServiceManager> manager;
    if ((serviceLeft = m_platform.services().openManager(SVC_MANAGER_CONNECT, manager)) == WIN_OK) {
        std::unique_ptr<Service> service;
        Win32Error opened = manager->openService(theServiceName, SVC_QUERY_STATUS, service);
        bool gone = opened == WIN_SERVICE_DOES_NOT_EXIST ||
                    (opened == WIN_SERVICE_MARKED_FOR_DELETE && !m_serviceStillRuns);
        serviceLeft = gone ? WIN_OK : WIN_ALREADY_EXISTS;
    }
    FileSystem& files = m_platform.files();
    return serviceLeft != WIN_OK || files.findFile(SETUP_PROGRAM_DIR) ||
           files.findFile(SETUP_TEMP_DIR);
}
