#include <string>

#include "shell/SetupDialog.h"
#include "setup/SequenceSteps.h"

namespace {

constexpr const char* INSTALL_MOF_COMMAND = "mofcomp c:\\ZIL_Setup_temp\\ZARN_ZIL.mof";

// Whatever installation is there goes, its service first.
void RemoveOldInstallation(SetupDialog& dialog, std::string& runLog) {
    Clock& clock = dialog.m_platform.clock();
    theLastServiceState = dialog.QueryServiceState();
    runLog += dialog.m_statusText;
    if (theLastServiceState == SVC_RUNNING) {
        // The running product gets its close request and a moment to act on it before the stop.
        clock.sleep(SEQUENCE_PAUSE_CONTROL);
        dialog.SendServiceControl(SEQUENCE_CODE_CLOSE);
        clock.sleep(SEQUENCE_PAUSE_CONTROL);
        dialog.StartOrStopWithRetry(SEQUENCE_MODE_STOP);
        dialog.UpdateData(false);
        runLog += dialog.m_statusText;
    }
    dialog.DeleteProductService();
    dialog.UpdateData(false);
    runLog += dialog.m_statusText;
    dialog.DeleteProgramDirectory();
    dialog.m_currentProgress.SetPos(60);
    runLog += "Unistall ZIL Success !!!\r\n";
    dialog.UpdateData(false);
}

// The new files into the program directory and its image folder.
void PlaceFiles(SetupDialog& dialog, std::string& runLog) {
    dialog.EnsureDirectory(SETUP_PROGRAM_DIR);
    dialog.m_currentProgress.SetPos(75);
    dialog.EnsureDirectory(SETUP_ICON_DIR);
    dialog.m_currentProgress.SetPos(80);
    runLog += "Create ZIL Directory Success !!!\r\n";
    dialog.MoveFilesIntoPlace();
    dialog.m_currentProgress.SetPos(85);
    dialog.DeleteTempDirectory();
    dialog.m_currentProgress.SetPos(89);
    runLog += "Delete ZIL Temp Directory Success !!!\r\n";
}

// A failed creation is tried once more at once; the start then shows whether it mattered.
void CreateService(SetupDialog& dialog, std::string& runLog) {
    int created = dialog.CreateProductService();
    dialog.m_currentProgress.SetPos(93);
    runLog += "Install ZIL Service retcode = " + std::to_string(created) + "\r\n";
    if (created == 0) {
        runLog += dialog.m_statusText;
        return;
    }
    int again = dialog.CreateProductService();
    runLog += dialog.m_statusText;
    if (again != 0) {
        runLog += "Install NT Service Failed XXXXX\r\n";
    }
}

// A service that does not start usually lacks the runtime; install that, clear up
// what its installer leaves at the drive roots, and try once more. True when it runs.
bool StartService(SetupDialog& dialog, std::string& runLog) {
    int started = dialog.StartOrStopWithRetry(SEQUENCE_MODE_START);
    runLog += "START ZIL Service retcode = " + std::to_string(started) + "\r\n";
    runLog += dialog.m_statusText;
    if (started == 0) {
        return true;
    }
    runLog += "Start Service Failed XXXXX Install Vcredist_x86 \r\n";
    dialog.RunAndWait(SETUP_REDIST_EXE, SETUP_REDIST_PARAMETERS);
    dialog.SweepRedistLeftovers();
    if (dialog.StartOrStopWithRetry(SEQUENCE_MODE_START) == 0) {
        runLog += dialog.m_statusText;
        return true;
    }
    return false;
}

// The second start failed too. A person sees the box and keeps the dialog to look at the log;
// a command-line run has nobody to read a box, so the text goes to the log and the run ends.
void EndWithServiceFailure(SetupDialog& dialog, std::string& runLog) {
    const std::string message = "Start ZIL Service Failed ";
    bool commandLine = SetupDialog::IsCommandLineMode();
    if (commandLine) {
        runLog += message + "\r\n";
    } else {
        dialog.AfxMessageBox(message);
    }
    runLog += dialog.m_statusText;
    PublishRunLog(dialog, runLog);
    FinishSequence(dialog, runLog, SETUP_EXIT_FAILURE, commandLine);
}

// The running service is told to launch the product, and setup's own helpers go.
void EndWithSuccess(SetupDialog& dialog, std::string& runLog) {
    Clock& clock = dialog.m_platform.clock();
    runLog += "Start Service Success !!!\r\n";
    dialog.m_currentProgress.SetPos(95);
    dialog.SendServiceControl(SEQUENCE_CODE_STARTED);
    runLog += "Write HKLM Launch_ZIL success !!!\r\n";
    clock.sleep(SEQUENCE_PAUSE_STEP);
    dialog.DeleteSetupTools();
    PublishRunLog(dialog, runLog);
    dialog.m_currentProgress.SetPos(100);
    if (theCommandLineArg == "I" || theCommandLineArg == "i") {
        dialog.SendServiceControl(SEQUENCE_CODE_LAUNCH);
        clock.sleep(SEQUENCE_PAUSE_CLOSE);
        FinishSequence(dialog, runLog, SETUP_EXIT_SUCCESS, true);
        return;
    }
    PublishRunLog(dialog, runLog);
    dialog.m_currentProgress.SetPos(100);
    dialog.SendServiceControl(SEQUENCE_CODE_LAUNCH);
    WriteSequenceLog(dialog, runLog, SETUP_EXIT_SUCCESS);
    dialog.AfxMessageBox("Install ZIL Success");
    FinishSequence(dialog, runLog, SETUP_EXIT_SUCCESS, true);
}

}  // namespace

void SetupDialog::OnInstall() {
    if (!BeginSequence()) {
        return;
    }
    LogFile().Begin("install", IsCommandLineMode());
    std::string runLog;
    m_currentProgress.SetPos(0);
    if (!PrepareTempDirectory(*this, runLog) || !ExtractPayload(*this, runLog, true)) {
        return;
    }
    m_currentLabel = "Current Progress";
    m_totalLabel = "Total Progress";
    UpdateData(false);
    m_platform.processes().runCommand(INSTALL_MOF_COMMAND);
    m_platform.clock().sleep(SEQUENCE_PAUSE_STEP);
    RemoveOldInstallation(*this, runLog);
    PlaceFiles(*this, runLog);
    CreateService(*this, runLog);
    if (!StartService(*this, runLog)) {
        EndWithServiceFailure(*this, runLog);
        return;
    }
    EndWithSuccess(*this, runLog);
}
