#include "setup/SequenceSteps.h"

#include "sfx/ExtractOutcome.h"
#include "shell/SetupDialog.h"

int ExtractFailureExitCode(int result) {
    return result == SFX_ERR_CREATE_OUTPUT || result == SFX_ERR_WRITE ? SETUP_EXIT_FAILURE
                                                                      : SETUP_EXIT_BAD_ARCHIVE;
}

// Whatever waits at the path may have been planted there (a folder with someone else's files,
// a link to elsewhere); it goes, and the fresh folder is one that nobody else may write to.
bool PrepareTempDirectory(SetupDialog& dialog, std::string& runLog) {
    FileSystem& files = dialog.m_platform.files();
    files.removeTree(SETUP_TEMP_DIR);
    if (Win32Error error = files.createPrivateDirectory(SETUP_TEMP_DIR); error != WIN_OK) {
        EndWithFailure(
            dialog, runLog,
            std::string("Cannot create ") + SETUP_TEMP_DIR + ", error " + std::to_string(error),
            SETUP_EXIT_FAILURE);
        return false;
    }
    dialog.EnsureDirectory(SETUP_TEMP_DIR);
    return true;
}

bool ExtractPayload(SetupDialog& dialog, std::string& runLog, bool stopOnFailure) {
    dialog.m_totalProgress.SetRange(0, dialog.m_extractor.m_entryCount);
    ShowBars(dialog);
    dialog.m_statusText = SETUP_TEMP_DIR;
    dialog.m_currentLabel = "Current File";
    dialog.UpdateData(false);
    int result = dialog.m_extractor.Extract(dialog.m_statusText, ExtractCallback, &dialog);
    ShowBars(dialog);
    if (result == SFX_OK || !stopOnFailure) {
        return true;
    }
    // Nothing of the old installation has been touched yet, and it stays so: installing from
    // a partial payload would remove a working product and leave a broken one.
    dialog.DeleteTempDirectory();
    EndWithFailure(dialog, runLog, ExtractOutcomeText(result, dialog.m_extractor.m_entryCount),
                   ExtractFailureExitCode(result));
    return false;
}

void ShowBars(SetupDialog& dialog) {
    dialog.m_totalProgress.Show();
    dialog.m_currentProgress.Show();
}

void PublishRunLog(SetupDialog& dialog, const std::string& runLog) {
    dialog.SetStatus(runLog);
    dialog.UpdateData(false);
}

void WriteSequenceLog(SetupDialog& dialog, const std::string& runLog, int exitCode) {
    dialog.m_exitCode = exitCode;
    dialog.LogFile().Write(runLog);
}

void FinishSequence(SetupDialog& dialog, const std::string& runLog, int exitCode, bool close) {
    WriteSequenceLog(dialog, runLog, exitCode);
    if (close) {
        // The dialog's own OnCancel refuses while a sequence runs; the sequence itself may.
        dialog.Dialog::OnCancel();
    }
    dialog.EndSequence();
}

void EndWithFailure(SetupDialog& dialog, std::string& runLog, const std::string& message,
                    int exitCode) {
    runLog += message + "\r\n";
    PublishRunLog(dialog, runLog);
    WriteSequenceLog(dialog, runLog, exitCode);
    if (!SetupDialog::IsCommandLineMode()) {
        dialog.AfxMessageBox(message);
    }
    FinishSequence(dialog, runLog, exitCode, true);
}

SetupLogFile& SetupDialog::LogFile() {
    if (!m_logFile) {
        m_logFile =
            std::make_unique<SetupLogFile>(m_platform.files(), m_platform.clock(), m_exitCode);
    }
    return *m_logFile;
}

void SetupDialog::AppendToLogFile(const std::string& text) {
    bool ended = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    LogFile().Append(ended ? text : text + "\r\n");
}
