// The runner's contract, on tables of steps written for the test and on the install's own: every
// step is recorded once and only by the runner, the changes a failed run made come back latest
// first, and no step behind the commit can ask for a restore.

#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"
#include "text/Format.h"
#include "tests/faults/MachineFiles.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// What the steps of a test's table did, in order, across one run.
std::vector<std::string> theActs;

StepOutcome Logged(const char* line) {
    StepOutcome outcome;
    outcome.runLog = std::string(line) + "\r\n";
    outcome.status = line;
    return outcome;
}

// A change that registers its undo; the undo of "refused" cannot be given back.
template <int N>
StepOutcome Change(Sequence& sequence) {
    String name = Format("change %d", N);
    theActs.push_back(std::string(name));
    // An undo keeps no more than a pointer or two: it names its change anew.
    sequence.transaction().Made(name, [] {
        String undone = Format("change %d", N);
        theActs.push_back("undo " + std::string(undone));
        return Undone{N == 3 ? WIN_ACCESS_DENIED : WIN_OK, "gave back " + undone + "\r\n", {}};
    });
    return Logged(name.c_str());
}

std::vector<std::string> DetailSteps(const std::string& logText) {
    std::string details = LogDetails(logText);
    std::vector<std::string> steps;
    std::size_t at = details.find("steps (milliseconds");
    for (std::size_t end;
         at != std::string::npos && (end = details.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        std::string line = details.substr(at, end - at);
        if (std::size_t name = line.find_first_not_of(" 0123456789"); line.rfind("   ", 0) == 0) {
            steps.push_back(line.substr(name));
        }
    }
    return steps;
}

class StepRunnerTest : public SequenceTest {
protected:
    void SetUp() override {
        SequenceTest::SetUp();
        theActs.clear();
    }
};

// Each step is recorded once, in the table's order: its own line in the details (or the lines it
// gave in its place), its run log lines, its bar position; a failure that goes on is recorded
// and the run goes on; the run ends as the sequence ends after its last step.
TEST_F(StepRunnerTest, EveryStepIsRecordedOnceByTheRunner) {
    using F = StepFailure;
    m_installSteps = std::vector<InstallStep>{
        {"First Step", [](Sequence&) { return Logged("first"); }, 10, F::Restores},
        {"Failing Step",
         [](Sequence&) {
             StepOutcome failed = StepOutcome::Failed(WIN_ACCESS_DENIED);
             failed.runLog = "failing\r\n";
             return failed;
         },
         20, F::GoesOn},
        {"Step Of Parts",
         [](Sequence& s) {
             StepOutcome parts = Logged("parts");
             parts.records.push_back({"Part One", WIN_OK, "", s.platform().clock().now()});
             parts.records.push_back(
                 {"Part Two", WIN_OK, "went wrong", s.platform().clock().now()});
             return parts;
         },
         -1, F::Ends},
        {"Last Step", [](Sequence&) { return Logged("last"); }, 30, F::Commits},
    };
    SetupRun run = Run("/I");
    EXPECT_EQ(run.exitCode, SETUP_EXIT_SUCCESS);
    EXPECT_EQ(LogBody(LogText()), "first\r\nfailing\r\nparts\r\nlast\r\n");
    EXPECT_THAT(DetailSteps(LogText()),
                ElementsAre("First Step: ok", "Failing Step: error 5: Access is denied.",
                            "Part One: ok", "Part Two: went wrong", "Last Step: ok"));
    EXPECT_THAT(DistinctPositions(run.positions), ElementsAre(0, 10, 20, 30));
}

// A failed step gives back every change made before it, latest first, names in the log what
// could not be given back, and ends the run with 1603; a step that ends the run with a message
// of its own ends it with that message and its code, giving nothing back.
TEST_F(StepRunnerTest, AFailureGivesTheChangesBackLatestFirst) {
    using F = StepFailure;
    auto failing = [](Sequence&) { return StepOutcome::Failed(WIN_INVALID_PARAMETER); };
    m_installSteps = std::vector<InstallStep>{
        {"Change One", Change<1>, -1, F::Restores},   {"Change Two", Change<2>, -1, F::Restores},
        {"Change Three", Change<3>, -1, F::Restores}, {"Failing Step", failing, -1, F::Restores},
        {"Never Run", Change<4>, -1, F::Restores},
    };
    Run("/I");
    EXPECT_THAT(theActs, ElementsAre("change 1", "change 2", "change 3", "undo change 3",
                                     "undo change 2", "undo change 1"));
    std::string log = LogBody(LogText());
    EXPECT_THAT(log, HasSubstr("Failing Step Failed, error 87 !!!\r\n"
                               "gave back change 3\r\n"
                               "change 3: not given back, error 5 !!!\r\n"
                               "gave back change 2\r\n"
                               "gave back change 1\r\n"
                               "Install ZIL Failed\r\n"));
    EXPECT_EQ(LogFooter(LogText()), "Result: install failed (exit code 1603)\r\n");

    theActs.clear();
    m_installSteps = std::vector<InstallStep>{
        {"Change One", Change<1>, -1, F::Restores},
        {"Ending Step",
         [](Sequence&) {
             StepOutcome ended = StepOutcome::Failed(WIN_DISK_FULL);
             ended.endMessage = "Disk full";
             ended.exitCode = SETUP_EXIT_BAD_ARCHIVE;
             return ended;
         },
         -1, F::Ends},
    };
    SetupRun ended = Run("/I");
    EXPECT_EQ(ended.exitCode, SETUP_EXIT_BAD_ARCHIVE);
    EXPECT_THAT(theActs, ElementsAre("change 1"));
    EXPECT_TRUE(LogBody(LogText()).ends_with("change 1\r\nDisk full\r\n"));
}

// The commit is a wall: a table with a step behind it that would ask for a restore is refused
// before any step runs, whether it is a test's table or the install's own with such a step added.
TEST_F(StepRunnerTest, NoRestoreBehindTheCommit) {
    using F = StepFailure;
    std::vector<InstallStep> own = InstallSteps();
    EXPECT_EQ(StepBehindTheWall(own), nullptr);
    own.push_back({"Late Check", Change<1>, -1, F::Restores});
    const std::vector<std::vector<InstallStep>> tables = {
        {{"Change One", Change<1>, -1, F::Restores},
         {"Commit", [](Sequence&) { return StepOutcome(); }, -1, F::Commits},
         {"Late Change", Change<2>, -1, F::Restores}},
        own,
    };
    for (const std::vector<InstallStep>& table : tables) {
        theActs.clear();
        m_installSteps = table;
        SetupRun run = Run("/I");
        EXPECT_EQ(run.exitCode, SETUP_EXIT_FAILURE);
        EXPECT_THAT(theActs, ::testing::IsEmpty());
        EXPECT_THAT(LogBody(LogText()), HasSubstr("cannot restore after the commit"));
        EXPECT_FALSE(Exists(SETUP_TEMP_DIR)) << "nothing ran";
        EXPECT_THAT(JournalOf(run.journal, "service"), ::testing::IsEmpty());
    }
}

}  // namespace
