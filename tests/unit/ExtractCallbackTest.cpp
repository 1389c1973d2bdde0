#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "progress/ExtractCallback.h"
#include "tests/unit/ArchiveTestSupport.h"
#include "tests/unit/DialogTestSupport.h"
#include "tests/unit/RecordingObserver.h"

namespace {

using dialog_test::DialogRun;
using dialog_test::DialogTest;
using dialog_test::JournalOf;
using test_support::RecordingObserver;
namespace fs = std::filesystem;

// Each code, alone: the window gets its messages first (progress, which comes every few
// kilobytes, only when they are due), then a new entry is named on the label and shown, progress
// puts half the percentage on the lower bar, a finished entry steps the upper bar, and an unknown
// code does nothing more.
TEST(ExtractCallbackCodesTest, EachCodeDrivesItsControls) {
    ArchiveEntry entry;
    entry.m_name = "ZIL.ini";
    struct Case {
        int code;
        int percent;
        std::vector<std::string> calls;
    };
    for (const Case& c :
         {Case{EXTRACT_ENTRY_BEGIN, 0, {"pump", "label Extracting ZIL.ini", "refresh"}},
          Case{EXTRACT_PROGRESS, 1, {"pump-if-due", "pos 0"}},
          Case{EXTRACT_PROGRESS, 61, {"pump-if-due", "pos 30"}},
          Case{EXTRACT_PROGRESS, 100, {"pump-if-due", "pos 50"}},
          Case{EXTRACT_ENTRY_DONE, 0, {"pump", "step"}}, Case{4242, 0, {"pump"}}}) {
        RecordingObserver recorder;
        int percent = c.percent;
        void* param = c.code == EXTRACT_PROGRESS ? static_cast<void*>(&percent) : &entry;
        EXPECT_EQ(ExtractCallback(c.code, param, &recorder), 0);
        EXPECT_EQ(recorder.calls, c.calls) << c.code << " " << c.percent;
    }
}

// What the screen showed after one callback call.
struct Seen {
    int code;
    int percent;  // for EXTRACT_PROGRESS
    std::string label;
    std::string totalText;
    std::string currentText;
    std::size_t inputLeft;
};

std::vector<Seen> theSeen;

std::string PictureText(const SimControlState& bar) {
    return bar.picture.texts.empty() ? "" : bar.picture.texts.front().text;
}

// The interactive dialog extracting the program's own archive the way a sequence does, the
// callback reporting to the dialog itself, and the screen read after every call. It only
// records: the test asserts once the dialog has gone.
class ExtractingDialog : public SetupDialog {
public:
    ExtractingDialog(SimPlatform& platform, RunMode mode)
        : SetupDialog(platform, mode), m_sim(platform) {}

    bool OnInitDialog() override {
        bool result = SetupDialog::OnInitDialog();
        // A sequence that a person watches runs in a dialog on the screen (a click started it).
        m_sim.simWindows().showDialog();
        BeginSequence();
        SfxExtractor extractor;
        String fault;
        ReadOwnDirectory(extractor, m_sim.files(), fault);
        static_cast<SequenceObserver&>(*this).SetTotalRange(0, extractor.m_entryCount);
        ExtractOwnArchive(extractor, m_sim.files(), "C:\\T", &Watch, this);
        EndSequence();
        return result;
    }

    static int Watch(int code, void* param, void* context) {
        auto& self = *static_cast<ExtractingDialog*>(context);
        int result = ExtractCallback(code, param, static_cast<SequenceObserver*>(&self));
        const SimDialogState& state = *self.m_sim.simWindows().dialogState();
        theSeen.push_back({code, code == EXTRACT_PROGRESS ? *static_cast<int*>(param) : 0,
                           state.control(IDC_CURRENT_LABEL)->text,
                           PictureText(*state.control(IDC_TOTAL_PROGRESS)),
                           PictureText(*state.control(IDC_CURRENT_PROGRESS)),
                           self.m_sim.simWindows().pendingInput()});
        return result;
    }

private:
    SimPlatform& m_sim;
};

class ExtractCallbackTest : public DialogTest {};

// On the real dialog: the label names each entry, the lower bar shows half its percentage as
// the stream is read, the upper bar counts finished entries; and the pump lets a click in
// while the archive is inflated.
TEST_F(ExtractCallbackTest, BarsAndLabelFollowAWholeExtractionOnScreen) {
    theSeen.clear();
    fs::create_directories(OnDriveC("T"));
    const std::vector<archive_test::TestEntry> entries = {
        {"tiny.txt", "a few bytes", ""},
        {"noise.bin", archive_test::RandomBytes(60000, 7), ""},
        {"text.mof", archive_test::TextBytes(30000), ""},
        {"more.bin", archive_test::RandomBytes(20000, 8), ""},
    };
    m_modulePath = m_root + "/ZIL_Setup.exe";
    archive_test::WriteHostFile(m_modulePath, archive_test::BuildArchive(entries, "MZ image"));
    DialogRun run = RunProgram<ExtractingDialog>({}, {"click:1001"});
    ASSERT_FALSE(theSeen.empty());

    std::vector<std::string> labels;
    int done = 0;
    int progress = 0;
    for (const Seen& seen : theSeen) {
        if (seen.code == EXTRACT_ENTRY_BEGIN) {
            labels.push_back(seen.label);
        } else if (seen.code == EXTRACT_PROGRESS) {
            ++progress;
            // The bar's percentage is the double product truncated: position 29 reads 28 %.
            int position = seen.percent / 2;
            EXPECT_EQ(seen.currentText,
                      std::to_string(static_cast<int>(position / 100.0 * 100.0)) + "%");
        }
        done += seen.code == EXTRACT_ENTRY_DONE;
        EXPECT_EQ(seen.totalText, std::to_string(done * 100 / 4) + "%");
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Extracting more.bin", "Extracting text.mof",
                                                "Extracting noise.bin", "Extracting tiny.txt"}));
    EXPECT_GT(progress, 3);
    // The pump ran inside the first callback: the person's click arrived then, and found
    // Uninstall disabled. Nobody was left to act when the dialog waited.
    EXPECT_EQ(theSeen.front().inputLeft, 0u);
    EXPECT_EQ(JournalOf(run.journal, "window"),
              (std::vector<std::string>{"click 1001 ignored: disabled", "close"}));
    EXPECT_EQ(archive_test::ReadHostFile(OnDriveC("T/text.mof")), entries[2].data);
}

// An extraction on a clock that moves a fixed number of milliseconds between two callbacks (one
// inflate step), with a message posted to the queue at many of them: clicks on both buttons and
// close requests, as a person might send while setup runs.
class PacedExtraction : public SetupDialog {
public:
    PacedExtraction(SimPlatform& platform, RunMode mode)
        : SetupDialog(platform, mode), m_sim(platform) {}

    bool OnInitDialog() override {
        bool result = SetupDialog::OnInitDialog();
        m_sim.simWindows().showDialog();
        BeginSequence();
        SfxExtractor extractor;
        String fault;
        ReadOwnDirectory(extractor, m_sim.files(), fault);
        static_cast<SequenceObserver&>(*this).SetTotalRange(0, extractor.m_entryCount);
        theResult = ExtractOwnArchive(extractor, m_sim.files(), "C:\\T", &Paced, this);
        theLooksDuring = m_sim.simWindows().queueLooks();
        // The sequence's next look takes what came after the last step, still guarded.
        windows().pumpMessages();
        EndSequence();
        return result;
    }

    static int Paced(int code, void* param, void* context) {
        auto& self = *static_cast<PacedExtraction*>(context);
        if (theStepMs != 0) {
            self.m_sim.clock().sleep(theStepMs);
        }
        int result = ExtractCallback(code, param, static_cast<SequenceObserver*>(&self));
        // Right after the callback, as just after a look at the queue: the longest wait.
        static const char* const messages[] = {"click:1000", "close", "click:1001"};
        if (theCalls % 3 == 1) {
            self.m_sim.simWindows().postInput(messages[theCalls / 3 % 3]);
            thePosted.push_back(messages[theCalls / 3 % 3]);
        }
        ++theCalls;
        return result;
    }

    static inline std::uint32_t theStepMs = 0;
    static inline int theCalls = 0;
    static inline int theResult = 0;
    static inline std::size_t theLooksDuring = 0;
    static inline std::vector<std::string> thePosted;

private:
    SimPlatform& m_sim;
};

// Inflate steps come every few kilobytes, far more often than a look at an empty queue is worth:
// the queue is looked at when a message could otherwise wait past 10 ms of clock, and at every
// entry's start and end. Whatever the pace, every posted message is handled in order, within
// 10 ms (or one step, where a single step takes longer), and none starts a second sequence or
// ends the dialog under the running one.
TEST_F(ExtractCallbackTest, MessagesWaitAtMostTenMillisecondsWhileTheQueueIsSeldomLookedAt) {
    fs::create_directories(OnDriveC("T"));
    const std::vector<archive_test::TestEntry> entries = {
        {"small.txt", "a few bytes", ""},
        {"large.bin", archive_test::RandomBytes(600000, 11), ""},
        {"text.mof", archive_test::TextBytes(200000), ""},
    };
    m_modulePath = m_root + "/ZIL_Setup.exe";
    archive_test::WriteHostFile(m_modulePath, archive_test::BuildArchive(entries, "MZ image"));
    for (std::uint32_t step : {0u, 1u, 3u, 7u, 10u, 13u}) {
        PacedExtraction::theStepMs = step;
        PacedExtraction::theCalls = 0;
        PacedExtraction::thePosted.clear();
        SimPlatform platform(Config());
        std::size_t journalBefore = platform.machine().journalLines().size();
        RunMode mode = ReadCommandLine(platform, {});
        PacedExtraction dialog(platform, mode);
        dialog.DoModal();
        const SimWindowSystem& windows = platform.simWindows();

        EXPECT_EQ(PacedExtraction::theResult, SFX_OK) << step;
        EXPECT_EQ(archive_test::ReadHostFile(OnDriveC("T/large.bin")), entries[1].data) << step;
        std::vector<std::string> handled;
        std::uint64_t longest = 0;
        for (const SimPostedInput& posted : windows.handledPosts()) {
            handled.push_back(posted.action);
            longest = std::max(longest, posted.handledAt - posted.postedAt);
        }
        EXPECT_EQ(handled, PacedExtraction::thePosted) << step;
        EXPECT_LE(longest, std::max<std::uint64_t>(10, step)) << step;
        // Each entry's start and end, and in between one look per run of steps that fits in
        // 10 ms with one step to spare (none when the clock stands still).
        std::size_t calls = static_cast<std::size_t>(PacedExtraction::theCalls);
        std::size_t stepsPerLook = step == 0 ? 0 : std::max(1u, (10 + step - 1) / step - 1);
        std::size_t bound = 2 * entries.size() + (step == 0 ? 0 : calls / stepsPerLook);
        EXPECT_LE(PacedExtraction::theLooksDuring, bound) << step;
        EXPECT_GT(PacedExtraction::theCalls, 150) << "too few steps to tell";
        // The guard of a running sequence: disabled buttons, the close request ignored; the
        // dialog closed only when it waited afterwards and nobody was there.
        std::vector<std::string> lines = platform.machine().journalLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(journalBefore));
        std::vector<std::string> journal = JournalOf(lines, "window");
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "click 1000 ignored: disabled") +
                      std::count(journal.begin(), journal.end(), "click 1001 ignored: disabled"),
                  std::count_if(handled.begin(), handled.end(),
                                [](const std::string& a) { return a != "close"; }))
            << step;
        EXPECT_EQ(dialog.ExitCode(), SETUP_EXIT_CLOSED) << step;
    }
}

}  // namespace
