#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include "text/StringType.h"
#include <vector>

#include "platform/Win32Error.h"
#include "setup/FileOperations.h"

// What a step's failure does to the run. Steps run in the order of their table; the commit is a
// wall: no step after it may ask for a restore, and a table in which one does is refused before
// anything runs.
enum class StepFailure : std::uint8_t {
    GoesOn,        // the failure is recorded and the run goes on
    Ends,          // the run ends: with the outcome's message, else as the sequence ends anyway
    Restores,      // every change made so far is given back and the run ends with 1603
    KeepsAndEnds,  // the changes stay: the table's commit runs, then the run ends
    Commits,       // this step is the commit: from here on nothing is given back
};

// One line of the log's details that a step took at a moment of its own (each attempt of a
// retried operation, say): the name, its Win32 error or a failure in words, and the clock then.
struct StepRecord {
    String name;
    Win32Error error = WIN_OK;
    String failure;
    std::uint64_t at = 0;
};

// What a step did, for the runner to record: a step writes nothing itself, and no caller may drop
// what it returns. The runner records it once in the log's details (its own line, or the records
// it gives in its place), appends its run log lines, shows its status line, folds what it leaves
// for the next restart into the run's exit code, and applies the failure policy of its table row
// when the step failed.
struct [[nodiscard]] StepOutcome {
    Win32Error error = WIN_OK;  // the Win32 error of the call that failed the step
    String runLog;              // lines for the run log, in order
    String status;              // the status line to show once the step is done; "" for none
    bool showRunLog = false;    // the status edit shows the whole run log instead
    // For the step's own line of the details when it differs from `error`: the operation's
    // error where the step still succeeded (a query that found no service), or a failure that
    // is no Win32 error, in words.
    std::optional<Win32Error> recordedError;
    String failure;
    // When the step's own line is timed, if not when the step returns (work that followed the
    // act it records, a pause, say, is not counted in).
    std::optional<std::uint64_t> recordedAt;
    // Lines of the details in place of the step's own line.
    std::vector<StepRecord> records;
    // What the step leaves for the next restart of Windows to finish (a folder moved out of the
    // way to be deleted then, a runtime that asks for one): a run that does its work ends 3010
    // then, and its log names each.
    std::vector<String> restart;
    // How a run that this step ends is told (the run log's last line, a person's box), and its
    // exit code (0: the step names none); no message: the sequence ends as it would after its
    // last step.
    String endMessage;
    int exitCode = 0;

    // A step fails with the Win32 error of a call, or, where what failed counts in numbers of its
    // own (the extractor's results), by the exit code it gives the run, with the failure in words
    // (`failure`, "result 1007: ..."): no number is ever read as another kind's.
    bool Failed() const { return error != WIN_OK || exitCode != 0; }

    // Out of line: every step builds one, and an inline construction repeats its stores at each
    // (inline, the 32-bit program grows by about 1 KB).
    StepOutcome();
    // A step that failed with this error and has nothing more to say.
    static StepOutcome Failed(Win32Error failed) {
        StepOutcome outcome;
        outcome.error = failed;
        return outcome;
    }
    // What a removal could not delete now: its run log line, and what waits for the restart.
    void Left(const Removal& removal);
};

class Sequence;

// A row of a sequence's table: the step's name (written here only), what it does, the lower
// bar's position once it is done (-1: none) and what its failure does. One row type serves
// every sequence, so that one runner runs them all. The position (a percent) and the policy
// take a byte each, as much as they hold: a row is 12 bytes rather than 16, which over the
// program's tables is 192 bytes and one 512-byte block of its constant data.
struct SequenceStep {
    const char* name;
    StepOutcome (*run)(Sequence& sequence);
    std::int8_t position;
    StepFailure onFailure;
};

// A table row's work: a step of the sequence S, called on the sequence that runs the table.
template <class S, StepOutcome (S::*step)()>
StepOutcome RunStep(Sequence& sequence) {
    return (static_cast<S&>(sequence).*step)();
}

// A sequence's table: constant rows, in the order they run.
using StepTable = std::span<const SequenceStep>;

// The first row after the commit that asks for a restore; null when the table keeps the wall.
const char* StepBehindTheWall(StepTable steps);
