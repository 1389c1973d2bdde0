#include "setup/UninstallSequence.h"

#include <memory>

#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"
#include "setup/StepLine.h"

UninstallSequence::UninstallSequence(Platform& platform, RunMode mode, SfxExtractor& extractor,
                                     SetupLogFile& log, SequenceObserver& observer)
    : Sequence(platform, mode, extractor, log, observer),
      m_upgrade(platform, m_files, m_service),
      m_entry(platform) {}

void UninstallSequence::Run() {
    bool commandLine = IsCommandLine(m_mode);
    m_log.Begin("uninstall", commandLine);
    m_observer.SetCurrentPos(0);
    if (PrepareTempDirectory() != WIN_OK) {
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
    int exitCode = failed ? SETUP_EXIT_FAILURE : SuccessCode();
    if (!commandLine) {
        PublishRunLog();
        WriteLog(exitCode);
        m_observer.ShowMessage(failed ? "Uninstall ZIL Failed"
                                      : SuccessMessage("Uninstall ZIL Success"));
    }
    Finish(exitCode, true);
}

// The product hears, a pause apart each, that it is about to go.
void UninstallSequence::SignalService() {
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(58);
    RunMofScript(SETUP_UNINSTALL_MOF_SCRIPT, "Unregister ZIL WMI Classes");
    Pause(SEQUENCE_PAUSE_STEP);
    SendControl(SERVICE_CODE_CLOSE);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(66);
    SendControl(SERVICE_CODE_UNINSTALL);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(78);
    SendControl(SERVICE_CODE_UNINSTALL_LAST);
    Pause(SEQUENCE_PAUSE_STEP);
    m_observer.SetCurrentPos(83);
}

// The service stopped if it runs, then deleted; then both directories. A service that would
// not stop is left running with its files: deleting them under it would break it, and marking
// it for deletion would leave it half removed.
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
        m_serviceStillRuns = stopped.error != 0;
        if (m_serviceStillRuns) {
            m_runLog += StepLine("Stop ZIL Service", static_cast<Win32Error>(stopped.error));
            return;
        }
    }
    Upgrade::Resumption cleared = m_upgrade.ResumeInterrupted(false);
    m_runLog += cleared.note;
    ServiceOutcome deleted = m_service.DeleteProductService();
    m_log.Step("Delete ZIL Service", deleted.error);
    ShowStatus(deleted.statusLine);
    m_observer.SetCurrentPos(93);
    m_runLog += deleted.statusLine;
    Removal program = m_files.DeleteProgramDirectory();
    m_log.Step("Delete ZIL Directory", program.error);
    LogRetired(program);
    // The entry goes with the program folder: Apps & features must not offer a product that is
    // gone, nor lose one that is still there.
    if (!m_platform.files().findFile(SETUP_PROGRAM_DIR)) {
        m_entryLeft = m_entry.Remove();
        m_log.Step("Delete ZIL Uninstall Entry", m_entryLeft);
    }
    m_observer.SetCurrentPos(98);
    Removal temp = m_files.DeleteTempDirectory();
    m_log.Step("Delete ZIL Temp Directory", temp.error);
    LogRetired(temp);
    m_observer.SetCurrentPos(100);
}

// The service counts as gone only when the manager no longer knows it: one marked for deletion
// is still there (running, starting, or held open) and may never go. Whatever cannot be checked
// is counted as left behind. Both folders must be gone too.
bool UninstallSequence::InstallationLeftBehind() {
    if (m_serviceStillRuns || m_entryLeft != WIN_OK) {
        return true;
    }
    ServiceQuery query = m_service.QueryServiceState();
    FileSystem& files = m_platform.files();
    return query.error != WIN_SERVICE_DOES_NOT_EXIST || files.findFile(SETUP_PROGRAM_DIR) ||
           files.findFile(SETUP_TEMP_DIR);
}
