// The pauses of every path and the control codes between them, in order: the one place that
// knows them, so that a changed pause fails here and nowhere else.

#include <filesystem>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SequenceHarness.h"
#include "setup/FileOperations.h"
#include "setup/ProductService.h"

namespace {

// The contract itself: the sequences' pauses in milliseconds, written here once and nowhere else
// in the tests, so that a changed value fails this test alone: between steps, around the close
// request, before a command-line install closes. The operations' own pauses are their tests'.
constexpr unsigned PAUSE_STEP = 889, PAUSE_AROUND_CLOSE = 589, PAUSE_CLOSE = 100;

std::string Sleep(unsigned milliseconds) {
    return "sleep " + std::to_string(milliseconds);
}
const std::string FOLDER = Sleep(DIRECTORY_WAIT_PAUSE), ROUND = Sleep(SERVICE_RETRY_PAUSE);
const std::string STEP = Sleep(PAUSE_STEP), AROUND_CLOSE = Sleep(PAUSE_AROUND_CLOSE),
                  CLOSE = Sleep(PAUSE_CLOSE);

// Repeats of one event as one "<event> xN", so that a wait of many rounds reads as one.
std::string Times(const std::string& event, int count) {
    return event + " x" + std::to_string(count);
}
std::vector<std::string> Folded(const std::vector<std::string>& events) {
    std::vector<std::string> folded;
    for (std::size_t at = 0, end; at < events.size(); at = end) {
        for (end = at + 1; end < events.size() && events[end] == events[at]; ++end) {
        }
        folded.push_back(end - at == 1 ? events[at] : Times(events[at], int(end - at)));
    }
    return folded;
}

// The rounds a start waits for a service that is still starting, at most.
int PendingRounds(unsigned limit) {
    return int((limit + SERVICE_RETRY_PAUSE - 1) / SERVICE_RETRY_PAUSE);
}

class PauseContractTest : public SequenceTest {};

TEST_F(PauseContractTest, EachPathPausesAndSignalsInItsOrder) {
    struct Path {
        const char* what;
        std::function<void()> before;
        std::string run;  // the command line, or the click in the dialog
        std::vector<std::string> expected;
    };
    auto installed = [this] { ASSERT_EQ(Run("/I").exitCode, SETUP_EXIT_SUCCESS); };
    auto knobs = [this](SimServices::Knobs k) { return [this, k] { SetServiceKnobs(k); }; };
    // Both requests to the product are control codes: 137 after the start, 133 before the end.
    const std::vector<std::string> placed = {FOLDER, STEP, Times(FOLDER, 2)};
    auto install = [&](std::vector<std::string> start, std::vector<std::string> end) {
        std::vector<std::string> all = placed;
        all.insert(all.end(), start.begin(), start.end());
        all.insert(all.end(), {"control 137", STEP, "control 133"});
        all.insert(all.end(), end.begin(), end.end());
        return all;
    };
    const std::vector<Path> paths = {
        {"clean /I", nullptr, "/I", install({ROUND}, {CLOSE})},
        // No closing pause: the box waits for the person instead.
        {"clean, from the dialog", nullptr, "click:1000", install({ROUND}, {})},
        // Nothing waits for a folder that is only made on the way to the program folder.
        {"without the folder for 32-bit programs",
         [this] { std::filesystem::remove(Host("C:\\Program Files (x86)")); }, "/I",
         install({ROUND}, {CLOSE})},
        {"a slow start", knobs({.startDelay = 3000}), "/I",
         install({Times(ROUND, PendingRounds(3000))}, {CLOSE})},
        {"a start that needs the runtime", knobs({.needsRuntime = true}), "/I",
         install({Times(ROUND, 7)}, {CLOSE})},
        {"a service that never starts",
         knobs({.neverStarts = true}),
         "/I",
         {FOLDER, STEP, Times(FOLDER, 2), Times(ROUND, 2 * PendingRounds(30000))}},
        {"over a running installation",
         installed,
         "/I",
         {FOLDER, STEP, AROUND_CLOSE, "control 139", AROUND_CLOSE, "control 1", ROUND, "control 1",
          Times(FOLDER, 2), ROUND, "control 137", STEP, "control 133", CLOSE}},
        {"a bad archive", [this] { m_setupPath = BARE_SETUP; }, "/I", {FOLDER}},
        {"no temporary folder",
         [this] {
             InjectForNextRun({SimFaultKind::Mkdir, 1, WIN_ACCESS_DENIED});
         },
         "/I",
         {}},
        {"uninstall /U",
         installed,
         "/U",
         {FOLDER, Times(STEP, 2), "control 139", STEP, "control 140", STEP, "control 138", STEP,
          "control 1", ROUND, "control 1"}},
        // The codes go nowhere (no service to open), the pauses are kept.
        {"uninstall /U of nothing", nullptr, "/U", {FOLDER, Times(STEP, 5)}},
        {"uninstall of nothing, from the dialog", nullptr, "click:1001", {FOLDER, Times(STEP, 5)}},
    };
    for (const Path& path : paths) {
        SCOPED_TRACE(path.what);
        FreshMachine();
        if (path.before) {
            path.before();
        }
        bool dialog = path.run.starts_with("click:");
        SetupRun run =
            RunProgram(dialog ? "" : path.run,
                       dialog ? std::vector<std::string>{path.run} : std::vector<std::string>{});
        EXPECT_EQ(Folded(PausesAndControls(run.journal)), path.expected);
        // The pauses are all the time a run takes.
        std::uint64_t paused = 0;
        for (const std::string& pause : JournalOf(run.journal, "sleep")) {
            paused += std::stoull(pause);
        }
        EXPECT_EQ(run.elapsed, paused);
    }
}

}  // namespace
