#include <memory>
#include <string>

#include "setup/SequenceSteps.h"
#include "shell/SetupDialog.h"

namespace {

constexpr const char* UNINSTALL_MOF_COMMAND = "mofcomp c:\\ZIL_Setup_temp\\Uninst_ZARN_ZIL.mof";

// The product hears, a pause apart each, that it is about to go.
void SignalService(SetupDialog& dialog) {
    Clock& clock = dialog.m_platform.clock();
    clock.sleep(SEQUENCE_PAUSE_STEP);
    dialog.m_currentProgress.SetPos(58);
    dialog.m_platform.processes().runCommand(UNINSTALL_MOF_COMMAND);
    clock.sleep(SEQUENCE_PAUSE_STEP);
    dialog.SendServiceControl(SEQUENCE_CODE_CLOSE);
    clock.sleep(SEQUENCE_PAUSE_STEP);
    dialog.m_currentProgress.SetPos(66);
    dialog.SendServiceControl(SEQUENCE_CODE_UNINSTALL);
    clock.sleep(SEQUENCE_PAUSE_STEP);
    dialog.m_currentProgress.SetPos(78);
    dialog.SendServiceControl(SEQUENCE_CODE_UNINSTALL_LAST);
    clock.sleep(SEQUENCE_PAUSE_STEP);
    dialog.m_currentProgress.SetPos(83);
}

// The service stopped if it runs, then deleted; then both directories.
void RemoveInstallation(SetupDialog& dialog, std::string& runLog) {
    theLastServiceState = dialog.QueryServiceState();
    dialog.m_currentProgress.SetPos(89);
    runLog += dialog.m_statusText;
    if (theLastServiceState == SVC_RUNNING) {
        dialog.StartOrStopWithRetry(SEQUENCE_MODE_STOP);
        dialog.UpdateData(false);
        runLog += dialog.m_statusText;
    }
    dialog.DeleteProductService();
    dialog.m_currentProgress.SetPos(93);
    dialog.UpdateData(false);
    runLog += dialog.m_statusText;
    dialog.DeleteProgramDirectory();
    dialog.m_currentProgress.SetPos(98);
    dialog.DeleteTempDirectory();
    dialog.m_currentProgress.SetPos(100);
}

// A service that the manager still lists as not marked for deletion survived the removal; one
// that is marked goes as soon as it has stopped, which the manager completes by itself.
bool ServiceLeftBehind(SetupDialog& dialog) {
    std::unique_ptr<ServiceManager> manager;
    if (dialog.m_platform.services().openManager(SVC_MANAGER_CONNECT, manager) != WIN_OK) {
        return false;
    }
    std::unique_ptr<Service> service;
    return manager->openService(theServiceName, SVC_QUERY_STATUS, service) == WIN_OK;
}

bool InstallationLeftBehind(SetupDialog& dialog) {
    return ServiceLeftBehind(dialog) || dialog.m_platform.files().findFile(SETUP_PROGRAM_DIR);
}

}  // namespace

void SetupDialog::OnUninstall() {
    if (!BeginSequence()) {
        return;
    }
    bool commandLine = theCommandLineArg == "U" || theCommandLineArg == "u";
    LogFile().Begin("uninstall", commandLine);
    std::string runLog;
    m_currentProgress.SetPos(0);
    if (!PrepareTempDirectory(*this, runLog)) {
        return;
    }
    ExtractPayload(*this, runLog, false);
    m_currentLabel = "Current Status";
    m_totalLabel = "Total Status";
    UpdateData(false);
    SignalService(*this);
    RemoveInstallation(*this, runLog);
    // Claiming success for a product that is still there would send a person (or a deployment
    // tool) away with a broken machine.
    bool failed = InstallationLeftBehind(*this);
    runLog += failed ? "Uninstall ZIL Failed !!!\r\n" : "Unistall ZIL Success !!!\r\n";
    UpdateData(false);
    int exitCode = failed ? SETUP_EXIT_FAILURE : SETUP_EXIT_SUCCESS;
    if (!commandLine) {
        PublishRunLog(*this, runLog);
        WriteSequenceLog(*this, runLog, exitCode);
        AfxMessageBox(failed ? "Uninstall ZIL Failed" : "Uninstall ZIL Success");
    }
    FinishSequence(*this, runLog, exitCode, true);
}
