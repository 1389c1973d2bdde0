#include "setup/Sequence.h"

#include "text/Format.h"
#include "paths/WindowsPaths.h"
#include "progress/ExtractCallback.h"
#include "setup/KeptSetup.h"
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

StepOutcome::StepOutcome() = default;

void StepOutcome::Left(const Removal& removal) {
    runLog += LeftoverLine(removal);
    if (removal.leftover == Leftover::AtRestart) {
        restart.push_back(removal.leftAt);
    }
}

Sequence::Sequence(const SequenceContext& context)
    : m_platform(context.platform),
      m_mode(context.mode),
      m_extractor(context.extractor),
      m_log(context.log),
      m_observer(context.observer),
      m_files(context.platform),
      m_service(context.platform) {}

const char* StepBehindTheWall(StepTable steps) {
    bool committed = false;
    for (const SequenceStep& step : steps) {
        if (committed && step.onFailure == StepFailure::Restores) {
            return step.name;
        }
        committed = committed || step.onFailure == StepFailure::Commits;
    }
    return nullptr;
}

void Sequence::RunTable(const char* sequence, StepTable steps) {
    if (!BeginRun(sequence, StepBehindTheWall(steps))) {
        return;
    }
    for (const SequenceStep& step : steps) {
        if (!Take(step, steps)) {
            return;
        }
    }
    Conclude();
}

bool Sequence::BeginRun(const char* sequence, const char* behindTheWall) {
    // Without a name the run is setup's own before any sequence (the kept program's hand-over):
    // its log, if it writes one, is that of a setup run.
    if (sequence != nullptr) {
        m_log.Begin(sequence, IsCommandLine(m_mode));
    }
    if (behindTheWall != nullptr) {
        // A restore after the commit would bring back what has been let go: such a table is a
        // mistake of setup's own, and runs nothing.
        EndWithFailure(String(behindTheWall) + " cannot restore after the commit",
                       SETUP_EXIT_FAILURE);
        return false;
    }
    m_observer.SetCurrentPos(0);
    return true;
}

bool Sequence::Take(const SequenceStep& step, StepTable steps) {
    m_stepName = step.name;
    StepOutcome outcome = step.run(*this);
    Record(step.name, outcome);
    if (outcome.Failed()) {
        switch (step.onFailure) {
            case StepFailure::GoesOn:
            case StepFailure::Commits:
                break;
            case StepFailure::Ends:
                if (outcome.endMessage.empty()) {
                    Conclude();
                } else {
                    EndWithFailure(outcome.endMessage, outcome.exitCode);
                }
                return false;
            case StepFailure::Restores:
                EndWithRestore(step.name, outcome);
                return false;
            case StepFailure::KeepsAndEnds:
                for (const SequenceStep& commit : steps) {
                    if (commit.onFailure == StepFailure::Commits) {
                        m_stepName = commit.name;
                        Record(commit.name, commit.run(*this));
                    }
                }
                EndKeepingChanges(outcome);
                return false;
        }
    }
    if (step.position >= 0) {
        m_observer.SetCurrentPos(step.position);
    }
    return true;
}

void Sequence::Record(const char* name, const StepOutcome& outcome) {
    RunDetails& details = m_log.Details();
    if (outcome.records.empty()) {
        details.StepAt(outcome.recordedAt.value_or(m_platform.clock().now()), name,
                       outcome.recordedError.value_or(outcome.error), outcome.failure);
    }
    for (const StepRecord& record : outcome.records) {
        details.StepAt(record.at, record.name.c_str(), record.error, record.failure);
    }
    m_runLog += outcome.runLog;
    WaitsForRestart(outcome.restart, true);
    if (outcome.showRunLog) {
        PublishRunLog();
    } else if (!outcome.status.empty()) {
        m_observer.ShowStatus(outcome.status);
    }
}

// What waits for the restart is named where an administrator looks for why it is asked; only a
// run that did its work asks for one (a failed run keeps its failure's code).
void Sequence::WaitsForRestart(const std::vector<String>& what, bool counts) {
    for (const String& item : what) {
        m_log.Details().WaitsForRestart(item);
        if (counts) {
            m_restart.push_back(item);
        }
    }
}

Restoration Sequence::GiveBack() {
    Restoration restored = m_transaction.GiveBack();
    m_runLog += restored.runLog;
    WaitsForRestart(restored.restart, false);
    return restored;
}

// A sequence without a restore of its own gives its changes back and says which step failed.
void Sequence::EndWithRestore(const char* step, const StepOutcome& failed) {
    static_cast<void>(GiveBack());
    EndWithFailure(FailureText(step, failed.error), SETUP_EXIT_FAILURE);
}

void Sequence::EndKeepingChanges(const StepOutcome& failed) {
    EndWithFailure(failed.status, SETUP_EXIT_FAILURE);
}

// Whatever waits at the path may have been planted there (a folder with someone else's files, a
// link to elsewhere): it goes, or out of the way when a file in it is held open, and the fresh
// folder is one that nobody else may write to. Someone else's folder that can be neither removed
// nor moved aside gets a private folder of another name beside it, so that it stops no run.
StepOutcome Sequence::PrepareTempDirectory() {
    TempFolder made = m_files.MakeTempDirectory();
    const String& folder = m_files.TempDirectory();
    StepOutcome prepared;
    prepared.Left(made.cleared);
    if (made.substitute && made.error == WIN_OK) {
        prepared.runLog +=
            NoteLine(SETUP_TEMP_DIR, ("cannot be cleared, setup uses " + folder).c_str());
    }
    prepared.error = made.error;
    prepared.recordedAt = m_platform.clock().now();
    if (prepared.error != WIN_OK) {
        prepared.endMessage = "Cannot create " + folder;
        AppendFormat(prepared.endMessage, ", error %d", prepared.error);
        prepared.exitCode = SETUP_EXIT_FAILURE;
        return prepared;
    }
    m_files.EnsureDirectory(folder);
    return prepared;
}

StepOutcome Sequence::ExtractPayload(bool stopOnFailure, const char* currentLabel,
                                     const char* totalLabel) {
    m_observer.SetTotalRange(0, m_extractor.m_entryCount);
    m_observer.ShowBars();
    m_observer.SetStatus(m_files.TempDirectory());
    m_observer.SetCurrentLabel("Current File");
    m_observer.Refresh();
    // A payload that lacks the service would remove a working product and leave none.
    // (An archive whose directory could not be read fails the extraction with its own code.)
    bool complete = !stopOnFailure || m_extractor.m_entryCount == 0 ||
                    m_extractor.HasEntry(SETUP_SERVICE_ENTRY);
    int result = complete ? ExtractOwnArchive(m_extractor, m_platform.files(),
                                              m_files.TempDirectory(), ExtractCallback, &m_observer)
                          : SFX_ERR_INCOMPLETE;
    StepOutcome extracted;
    extracted.recordedAt = m_platform.clock().now();
    if (result != SFX_OK) {
        // The outcome in the run log's words (how the run ends when the failure ends it), from
        // the program's own string table, then the entry that failed it and the error behind
        // that.
        extracted.endMessage = m_platform.windows().loadString(ExtractOutcomeStringId(result));
        FormatTo(extracted.failure, "result %d: ", result);
        extracted.failure += extracted.endMessage;
        if (!m_extractor.FailedEntry().empty()) {
            extracted.failure += ' ';
            extracted.failure += m_extractor.FailedEntry();
        }
        if (m_extractor.FailedEntryError() != WIN_OK) {
            extracted.failure += "; ";
            extracted.failure += m_log.Details().ErrorInWords(m_extractor.FailedEntryError());
        }
    }
    m_observer.ShowBars();
    if (result == SFX_OK || !stopOnFailure) {
        m_observer.SetCurrentLabel(currentLabel);
        m_observer.SetTotalLabel(totalLabel);
        m_observer.Refresh();
        return extracted;
    }
    // Nothing of the old installation has been touched yet, and it stays so: installing from a
    // partial payload would remove a working product and leave a broken one.
    m_files.DeleteTempDirectory();
    extracted.exitCode = ExtractFailureExitCode(result);
    return extracted;
}

void Sequence::RecordNow(StepOutcome& outcome, const char* name, Win32Error error,
                         const char* failure) {
    outcome.records.push_back({name, error, failure, m_platform.clock().now()});
}

void Sequence::PublishRunLog() {
    m_observer.ShowStatus(m_runLog);
}

void Sequence::WriteLog(int exitCode) {
    m_log.Write(m_runLog, exitCode);
}

// Every run ends here. The log is written before a box waits for a person, so that it tells the
// outcome even while nobody answers; a box's answer may add lines, and the log is then written
// again.
void Sequence::End(const RunEnd& end) {
    m_runLog += end.logged;
    if (end.publish) {
        PublishRunLog();
    }
    WriteLog(end.exitCode);
    if (!end.box.empty() && !IsCommandLine(m_mode)) {
        m_observer.ShowMessage(end.box);
    }
    if (!end.afterBox.empty()) {
        m_runLog += end.afterBox;
        PublishRunLog();
        WriteLog(end.exitCode);
    }
    m_observer.Finish(end.exitCode, end.close);
}

void Sequence::EndWithFailure(const String& message, int exitCode) {
    RunEnd end;
    end.exitCode = exitCode;
    end.logged = message + "\r\n";
    end.publish = true;
    end.box = message;
    End(end);
}

StepOutcome Sequence::ServiceReport(Win32Error error, const String& statusLine) {
    StepOutcome reported;
    reported.recordedError = error;
    reported.status = statusLine;
    reported.runLog = statusLine;
    return reported;
}

StepOutcome Sequence::RunMofScript(const char* script) {
    const char* step = StepName();
    int result = m_files.CompileMof(script);
    StepOutcome compiled;
    compiled.recordedAt = m_platform.clock().now();
    if (result != 0) {
        FormatTo(compiled.failure, "exit code %d", result);
        compiled.runLog = step;
        AppendFormat(compiled.runLog, " Failed, exit code %d !!!\r\n", result);
    }
    return compiled;
}

bool Sequence::UpgradeInterrupted() {
    PathInfo record;
    return m_platform.files().pathInfo(SETUP_UPGRADE_RECORD, record) == WIN_OK && record.size > 0;
}

// The hand-over's own copy runs from a run folder while its kept program waits there to come
// back by itself.
bool Sequence::RunsAsHandOverCopy() {
    String running;
    return m_platform.files().modulePath(running) == WIN_OK && IsInRunFolder(running);
}

// An installation that Apps & features lists keeps its uninstaller: a hand-over cut off after
// the kept program moved out, or one whose move back was refused, left it waiting in a run
// folder. It goes back from there, or the running program (a release of the product's setup
// too) is kept in its place. Where an upgrade was cut off, the folder at the program folder's
// place is not the listed installation: the resume brings that back, with its own.
StepOutcome Sequence::PutBackKeptSetup() {
    FileSystem& files = m_platform.files();
    StepOutcome put;
    if (RunsAsHandOverCopy() || UpgradeInterrupted() || !IsFolder(files, SETUP_PROGRAM_DIR) ||
        files.findFile(SETUP_KEPT_SETUP)) {
        return put;
    }
    std::vector<RegistryValue> entry;
    if (m_platform.registry().readValues(SETUP_ENTRY_KEY, entry) != WIN_OK) {
        return put;
    }
    Win32Error error = WIN_FILE_NOT_FOUND;
    for (const String& folder : OwnRunFolders()) {
        String waiting = PathIn(folder, SETUP_RUN_KEPT_NAME);
        PathInfo info;
        if (error != WIN_OK && files.pathInfo(waiting, info) == WIN_OK &&
            info.kind == PathKind::File && info.trusted) {
            error = files.moveFile(waiting, SETUP_KEPT_SETUP, false);
        }
    }
    if (error != WIN_OK) {
        error = m_files.KeepOwnImage(SETUP_KEPT_SETUP);
    }
    put.error = error;
    put.runLog = error == WIN_OK ? NoteLine(SETUP_KEPT_SETUP, "missing, put back")
                                 : StepLine(StepName(), error);
    return put;
}

// What earlier hand-overs left goes once nothing runs from it: the kept program that waited
// there has ended (the lock this run holds tells), and what it left for the restart need not
// wait for one.
StepOutcome Sequence::ClearRunFolders() {
    StepOutcome cleared;
    if (RunsAsHandOverCopy()) {
        return cleared;
    }
    for (const String& folder : OwnRunFolders()) {
        RecordNow(cleared, StepName(), m_platform.files().removeTree(folder));
    }
    return cleared;
}

// Only a folder that administrators own can be one that a hand-over made: in anyone else's, what
// was checked could be swapped before it is moved or deleted.
std::vector<String> Sequence::OwnRunFolders() {
    FileSystem& files = m_platform.files();
    std::vector<FolderItem> listed;
    files.listItems(String(SETUP_RUN_DIR) + "*", listed);
    std::vector<String> own;
    for (FolderItem& folder : listed) {
        PathInfo info;
        if (IsRunFolder(folder.path) && files.pathInfo(folder.path, info) == WIN_OK &&
            info.kind == PathKind::Folder && info.trusted) {
            own.push_back(std::move(folder.path));
        }
    }
    return own;
}

int Sequence::SuccessCode() {
    bool waits = false;
    for (const String& item : m_restart) {
        // What waits at a path may have gone since; a restart that something asked for (the
        // runtime's installer) waits whatever the run did after it.
        PathInfo info;
        if (IsDrivePath(item) && IsMissing(m_platform.files().pathInfo(item, info))) {
            m_log.Details().NoLongerWaitsForRestart(item);
        } else {
            waits = true;
        }
    }
    return waits ? SETUP_EXIT_RESTART_REQUIRED : SETUP_EXIT_SUCCESS;
}

String Sequence::SuccessMessage(const char* text, int exitCode) {
    String message = text;
    if (exitCode == SETUP_EXIT_RESTART_REQUIRED) {
        message += "\r\n";
        message += SETUP_RESTART_NOTE;
    }
    return message;
}

void Sequence::Pause(unsigned milliseconds) {
    m_platform.clock().sleep(milliseconds);
}

StepOutcome Sequence::SendControl(int code, unsigned pauseAfter) {
    ServiceOutcome sent = m_service.SendServiceControl(code);
    StepOutcome signalled;
    RecordNow(signalled, Format("Send ZIL Service Control %d", code).c_str(), sent.error);
    m_observer.SetStatus(sent.statusLine);
    if (pauseAfter != 0) {
        Pause(pauseAfter);
    }
    return signalled;
}
