#pragma once

#include "text/StringType.h"
#include <vector>

#include "platform/Platform.h"
#include "progress/SequenceObserver.h"
#include "setup/FileOperations.h"
#include "setup/ProductService.h"
#include "setup/RunMode.h"
#include "setup/SequenceStep.h"
#include "setup/SetupLogFile.h"
#include "setup/Transaction.h"
#include "sfx/SfxExtractor.h"

// What a sequence runs on: the machine, how it was started, the directory the dialog read, the
// log file, and whoever shows what it does.
struct SequenceContext {
    Platform& platform;
    RunMode mode;
    SfxExtractor& extractor;
    SetupLogFile& log;
    SequenceObserver& observer;
};

// What the install and the uninstall have in common: the step runner, what the steps run on,
// the run log, the changes made so far, and the ways a run ends. A sequence runs once, to its
// end, inside one call; it reports only through the observer and the log file.
//
// The runner takes a table of steps in order. A step does its work and returns its outcome; the
// runner records it once in the log's details, appends its lines to the run log, shows its
// status, moves the lower bar, and applies the step's failure policy. A step that changes the
// machine tells the transaction at once how to give the change back. What a sequence holds is
// its own: its subclasses reach the machine, the operations and the display through the
// functions below, and add to the run's end only through outcomes and RunEnd.
class Sequence {
public:
    explicit Sequence(const SequenceContext& context);
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    virtual void Run() = 0;

    Platform& platform() { return m_platform; }
    // Where a step registers how to give back what it changed.
    Transaction& transaction() { return m_transaction; }

    // The kept setup program goes back into a listed installation that lacks it (a hand-over
    // cut off, a move back refused), and what earlier hand-overs left of setup's own run folder
    // goes: neither for the hand-over's own copy, which runs from that folder while the kept
    // program waits there.
    StepOutcome PutBackKeptSetup();
    StepOutcome ClearRunFolders();

protected:
    // A sequence lives on its runner's stack and is never deleted through this class.
    ~Sequence() = default;

    // Pauses in milliseconds: between steps, around the close request, before the command-line
    // install closes.
    enum : unsigned {
        SEQUENCE_PAUSE_STEP = 889,
        SEQUENCE_PAUSE_CONTROL = 589,
        SEQUENCE_PAUSE_CLOSE = 100,
    };

    // Runs a sequence's table ("install" or "uninstall" names it in the log file). A table with
    // a restore behind the commit is refused before any step runs.
    void RunTable(const char* sequence, StepTable steps);

    // How a sequence ends after its last step, or after a step that ends the run without a
    // message of its own.
    virtual void Conclude() = 0;
    // A step before the commit failed: what was changed is given back, and the run ends.
    virtual void EndWithRestore(const char* step, const StepOutcome& failed);
    // A step failed whose changes stay: the commit has run, and the run ends.
    virtual void EndKeepingChanges(const StepOutcome& failed);

    // Removes whatever is at the temporary directory's path (moves it out of the way when it
    // cannot go now) and creates it afresh, private to administrators, then waits for it; when
    // someone else's folder there cannot be cleared, one of another name (both in the run log).
    // A failure ends the run (1603) before anything is touched.
    StepOutcome PrepareTempDirectory();
    // Sets up the bars and extracts the archive into the temporary directory. For the install
    // (stopOnFailure), a payload without the file the install starts by name is refused first,
    // and a failed extraction is the step's failure, which ends the run. A run that goes on
    // labels the bars for the steps that follow.
    StepOutcome ExtractPayload(bool stopOnFailure, const char* currentLabel,
                               const char* totalLabel);
    // The status edit shows the whole run log.
    void PublishRunLog();
    // How a run ends, in the one order every ending takes: lines for the run log (`logged`), the
    // run log published to the status edit (`publish`), the log file written with the exit code,
    // a person's box (`box`; never from the command line), the lines that the box's answer adds
    // (`afterBox`, published when there are any), the log file brought up to date, and the dialog
    // told the code, and closed unless a person is to read it (`close`).
    struct RunEnd {
        int exitCode = 0;
        String logged;
        bool publish = false;
        String box;
        String afterBox;
        bool close = true;
    };
    void End(const RunEnd& end);
    // A failure that ends a sequence: logged, shown to a person (never from the command line),
    // and the dialog closed.
    void EndWithFailure(const String& message, int exitCode);
    // Gives back every change of the run, the latest first: what could not be is named in the
    // run log, and what the undos left for the next restart in the log's details.
    Restoration GiveBack();
    void Pause(unsigned milliseconds);
    // A user-defined control code to the service, then a pause for the service to act on it
    // (none for 0); its status line shows, the run log keeps nothing of it.
    StepOutcome SendControl(int code, unsigned pauseAfter = 0);
    // A service request's outcome as a step tells it: its status line shown and in the run log,
    // its error in the details only (whether it fails the step is the step's to decide).
    static StepOutcome ServiceReport(Win32Error error, const String& statusLine);
    // Runs Windows' MOF compiler on a script from the archive; a failure is a line of the run
    // log, and nothing more: the product works without its WMI classes.
    StepOutcome RunMofScript(const char* script);
    // The name of the step that runs now, as its table row gives it, for the run log lines that
    // name the step.
    const char* StepName() const { return m_stepName; }
    // Adds to the outcome a line of the details taken now.
    void RecordNow(StepOutcome& outcome, const char* name, Win32Error error,
                   const char* failure = "");
    // The code of a run that did its work: 3010 when something it left waits for the next
    // restart, so that a deployment tool schedules one. What a later step removed after all
    // (a file that was held open only for a moment) waits for nothing, and is named so.
    int SuccessCode();
    // A success's closing box: the text, and for 3010 that a restart completes the run.
    static String SuccessMessage(const char* text, int exitCode);

    // What the steps run on and show through.
    FileOperations& files() { return m_files; }
    ProductService& service() { return m_service; }
    SequenceObserver& observer() { return m_observer; }
    bool CommandLine() const { return IsCommandLine(m_mode); }
    // A line of the run log that no step's outcome carries (a restore's, which runs after the
    // failed step), and a step of the log's details that no table row names.
    void AddToRunLog(const String& lines) { m_runLog += lines; }
    void RecordStep(const char* name, Win32Error error) { m_log.Step(name, error); }

private:
    Platform& m_platform;
    RunMode m_mode;
    SfxExtractor& m_extractor;
    SetupLogFile& m_log;
    SequenceObserver& m_observer;
    FileOperations m_files;
    ProductService m_service;
    Transaction m_transaction;
    String m_runLog;  // what the run did, line by line; the status edit shows it at the end

    const char* m_stepName = "";
    // What the steps so far left for the next restart, each named in the log's details.
    std::vector<String> m_restart;

    // Starts the log of the run; false when the table is refused (the run has ended).
    bool BeginRun(const char* sequence, const char* behindTheWall);
    // Runs a step of the table, records its outcome and applies its failure policy: false when
    // that ended the run.
    bool Take(const SequenceStep& step, StepTable steps);
    void Record(const char* name, const StepOutcome& outcome);
    void WaitsForRestart(const std::vector<String>& what, bool counts);
    bool RunsAsHandOverCopy();
    // The run folders of earlier hand-overs: setup's own by their name and their owner.
    std::vector<String> OwnRunFolders();
    // A record of an upgrade that was cut off is there, for a later run to finish.
    bool UpgradeInterrupted();
    void WriteLog(int exitCode);
};
