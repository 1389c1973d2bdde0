#include "setup/Sequence.h"

#include "platform/Format.h"
#include "progress/ExtractCallback.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"
#include "setup/StepLine.h"
#include "sfx/ExtractOutcome.h"

namespace {

// Files that could not be written are the machine's fault (1603), anything else the archive's.
int ExtractFailureExitCode(int result) {
    return result == SFX_ERR_CREATE_OUTPUT || result == SFX_ERR_WRITE ? SETUP_EXIT_FAILURE
                                                                      : SETUP_EXIT_BAD_ARCHIVE;
}

}  // namespace

Sequence::Sequence(Platform& platform, RunMode mode, SfxExtractor& extractor, SetupLogFile& log,
                   SequenceObserver& observer)
    : m_platform(platform),
      m_mode(mode),
      m_extractor(extractor),
      m_log(log),
      m_observer(observer),
      m_files(platform),
      m_service(platform) {}

// Whatever waits at the path may have been planted there (a folder with someone else's files, a
// link to elsewhere): it goes, or out of the way when a file in it is held open, and the fresh
// folder is one that nobody else may write to.
Win32Error Sequence::PrepareTempDirectory() {
    m_files.RemoveOrRetire(SETUP_TEMP_DIR);
    Win32Error error = m_platform.files().createPrivateDirectory(SETUP_TEMP_DIR);
    m_log.Step("Create ZIL Temp Directory", error);
    if (error != WIN_OK) {
        EndWithFailure("Cannot create " + String(SETUP_TEMP_DIR) + Format(", error %d", error),
                       SETUP_EXIT_FAILURE);
        return error;
    }
    m_files.EnsureDirectory(SETUP_TEMP_DIR);
    return WIN_OK;
}

int Sequence::ExtractPayload(bool stopOnFailure) {
    m_observer.SetTotalRange(0, m_extractor.m_entryCount);
    m_observer.ShowBars();
    m_observer.SetStatus(SETUP_TEMP_DIR);
    m_observer.SetCurrentLabel("Current File");
    m_observer.Refresh();
    // A payload that lacks the service would remove a working product and leave none.
    // (An archive whose directory could not be read fails the extraction with its own code.)
    bool complete =
        !stopOnFailure || m_extractor.m_entryCount == 0 || m_extractor.HasEntry(SFX_SERVICE_ENTRY);
    int result = complete ? ExtractOwnArchive(m_extractor, m_platform.files(), SETUP_TEMP_DIR,
                                              ExtractCallback, &m_observer)
                          : SFX_ERR_INCOMPLETE;
    LogExtraction(result);
    m_observer.ShowBars();
    if (result == SFX_OK || !stopOnFailure) {
        return result;
    }
    // Nothing of the old installation has been touched yet, and it stays so: installing from a
    // partial payload would remove a working product and leave a broken one.
    m_files.DeleteTempDirectory();
    EndWithFailure(ExtractOutcomeText(result, m_extractor.m_entryCount),
                   ExtractFailureExitCode(result));
    return result;
}

// The outcome in the run log's words, then the entry that failed it and the error behind that.
void Sequence::LogExtraction(int result) {
    RunDetails& details = m_log.Details();
    if (result == SFX_OK) {
        details.Step("Extract ZIL Files", String());
        return;
    }
    String failure =
        Format("result %d: ", result) + ExtractOutcomeText(result, m_extractor.m_entryCount);
    if (!m_extractor.FailedEntry().empty()) {
        failure += " " + m_extractor.FailedEntry();
    }
    if (m_extractor.FailedEntryError() != WIN_OK) {
        failure += "; " + details.ErrorInWords(m_extractor.FailedEntryError());
    }
    details.Step("Extract ZIL Files", failure);
}

void Sequence::ShowStatus(const String& line) {
    m_observer.SetStatus(line);
    m_observer.Refresh();
}

void Sequence::PublishRunLog() {
    ShowStatus(m_runLog);
}

void Sequence::WriteLog(int exitCode) {
    m_log.Write(m_runLog, exitCode);
}

void Sequence::Finish(int exitCode, bool close) {
    WriteLog(exitCode);
    m_observer.Finish(exitCode, close);
}

void Sequence::EndWithFailure(const String& message, int exitCode) {
    m_runLog += message + "\r\n";
    PublishRunLog();
    WriteLog(exitCode);
    if (!IsCommandLine(m_mode)) {
        m_observer.ShowMessage(message);
    }
    Finish(exitCode, true);
}

void Sequence::RunMofScript(const char* script, const char* step) {
    int result = m_files.CompileMof(script);
    m_log.Details().Step(step, result == 0 ? String() : Format("exit code %d", result));
    if (result != 0) {
        m_runLog += step;
        m_runLog += Format(" Failed, exit code %d !!!\r\n", result);
    }
}

void Sequence::LogStep(const char* step, Win32Error error) {
    m_log.Step(step, error);
    m_runLog += StepLine(step, error);
}

void Sequence::LogRetired(const Removal& removal) {
    if (!removal.retiredTo.empty()) {
        m_runLog += NoteLine(removal.retiredTo, "held open, deleted at the next restart");
    }
}

void Sequence::Pause(unsigned milliseconds) {
    m_platform.clock().sleep(milliseconds);
}

void Sequence::SendControl(int code) {
    ServiceOutcome sent = m_service.SendServiceControl(code);
    m_log.Step(Format("Send ZIL Service Control %d", code).c_str(), sent.error);
    m_observer.SetStatus(sent.statusLine);
}
