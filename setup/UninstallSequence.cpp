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
    m_platform.processes().runCommand(SETUP_UNINSTALL_MOF_COMMAND);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetStatus(m_service.SendServiceControl(SEQUENCE_CODE_CLOSE).statusLine);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(66);
    m_observer.SetStatus(m_service.SendServiceControl(SEQUENCE_CODE_UNINSTALL).statusLine);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(78);
    m_observer.SetStatus(m_service.SendServiceControl(SEQUENCE_CODE_UNINSTALL_LAST).statusLine);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(83);
}

// The service stopped if it runs, then deleted; then both directories.
void UninstallSequence::RemoveInstallation() {
    ServiceQuery query = m_service.QueryServiceState();
    ShowStatus(query.statusLine);
    m_observer.SetCurrentPos(89);
    m_runLog += query.statusLine;
    if (query.state == SVC_RUNNING) {
        m_runLog += m_service.StartOrStopWithRetry(SERVICE_MODE_STOP, m_showStatus).statusLine;
    }
    ServiceOutcome deleted = m_service.DeleteProductService();
    ShowStatus(deleted.statusLine);
    m_observer.SetCurrentPos(93);
    m_runLog += deleted.statusLine;
    m_files.DeleteProgramDirectory();
    m_observer.SetCurrentPos(98);
    m_files.DeleteTempDirectory();
    m_observer.SetCurrentPos(100);
}

// A service that the manager still lists as not marked for deletion survived the removal; one
// that is marked goes as soon as it has stopped, which the manager completes by itself.
bool UninstallSequence::InstallationLeftBehind() {
    bool serviceLeft = false;
    std::unique_ptr<ServiceManager> manager;
    if (m_platform.services().openManager(SVC_MANAGER_CONNECT, manager) == WIN_OK) {
        std::unique_ptr<Service> service;
        serviceLeft = manager->openService(theServiceName, SVC_QUERY_STATUS, service) == WIN_OK;
    }
    return serviceLeft || m_platform.files().findFile(SETUP_PROGRAM_DIR);
}
