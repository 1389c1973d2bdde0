#pragma once

#include <string>

class SetupDialog;

// What the install and the uninstall have in common: their pauses, the control codes they
// send the service, the fresh temporary directory, the extraction, and the ways they end.

// Pauses in milliseconds: between steps, around the close request, before the command-line
// install closes.
enum : unsigned {
    SEQUENCE_PAUSE_STEP = 889,
    SEQUENCE_PAUSE_CONTROL = 589,
    SEQUENCE_PAUSE_CLOSE = 100,
};

// User-defined control codes the sequences send the service; what each does is the service's
// own affair.
enum : int {
    SEQUENCE_CODE_LAUNCH = 133,
    SEQUENCE_CODE_STARTED = 137,
    SEQUENCE_CODE_UNINSTALL_LAST = 138,
    SEQUENCE_CODE_CLOSE = 139,
    SEQUENCE_CODE_UNINSTALL = 140,
};

enum : int {
    SEQUENCE_MODE_START = 0,
    SEQUENCE_MODE_STOP = 1,
};

// The exit code for an extraction that did not return SFX_OK: files that could not be written
// are the machine's fault (1603), anything else the archive's (1620).
int ExtractFailureExitCode(int result);

// Removes whatever is at the temporary directory's path and creates it afresh, private to
// administrators, then waits for it as every directory is waited for. False when it cannot be
// created fresh: the sequence has then ended (1603) before touching anything.
bool PrepareTempDirectory(SetupDialog& dialog, std::string& runLog);

// Sets up the bars and extracts the archive into the temporary directory. When the install
// (stopOnFailure) meets a failed extraction, it ends the sequence there (decided by the result
// code, see ExtractFailureExitCode) and returns false; the uninstall goes on regardless.
bool ExtractPayload(SetupDialog& dialog, std::string& runLog, bool stopOnFailure);

// Shows both bars, the lower one last, as each sequence does before and after extracting.
void ShowBars(SetupDialog& dialog);

// The status edit shows the whole run log.
void PublishRunLog(SetupDialog& dialog, const std::string& runLog);

// Records the outcome: the exit code and the log file.
void WriteSequenceLog(SetupDialog& dialog, const std::string& runLog, int exitCode);

// The end of every path: the outcome recorded, the dialog closed unless a person is to look at
// it, and the buttons freed for another sequence if it stays open.
void FinishSequence(SetupDialog& dialog, const std::string& runLog, int exitCode, bool close);

// A failure that stops a sequence early: logged, shown to a person (never from the command
// line), and the dialog closed.
void EndWithFailure(SetupDialog& dialog, std::string& runLog, const std::string& message,
                    int exitCode);
