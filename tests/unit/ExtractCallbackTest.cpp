#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "progress/ExtractCallback.h"
#include "tests/unit/ArchiveTestSupport.h"
#include "tests/unit/DialogTestSupport.h"
#include "tests/unit/RecordingObserver.h"

namespace {

using dialog_test::DialogRun;
using dialog_test::DialogTest;
using dialog_test::Kind;
using test_support::RecordingObserver;
namespace fs = std::filesystem;

// What the screen showed after one callback call.
struct Seen {
    int code;
    int percent;  // for EXTRACT_PROGRESS
    std::string entry;
    std::string label;
    int total;    // entries the upper bar has stepped over
    int current;  // the lower bar's position
    std::string totalText;
    std::string currentText;
    std::size_t inputLeft;
};

std::vector<Seen> theSeen;
int theExtractions = 0;

std::string PictureText(const SimControlState& bar) {
    return bar.picture.texts.empty() ? "" : bar.picture.texts.front().text;
}

// The interactive dialog extracting the program's own archive the way a sequence does, with
// the callback reporting to the dialog through a recorder, and the screen read after every
// call. It only records: the test asserts once the dialog has gone.
class ExtractingDialog : public SetupDialog {
public:
    ExtractingDialog(SimPlatform& platform, RunMode mode)
        : SetupDialog(platform, mode), m_sim(platform), m_recorder(this) {}

    bool OnInitDialog() override {
        bool result = SetupDialog::OnInitDialog();
        BeginSequence();
        SfxExtractor extractor(m_sim.files());
        extractor.ReadDirectory(extractor.GetModulePath());
        m_recorder.SetCurrentPos(0);
        m_recorder.SetTotalRange(0, extractor.m_entryCount);
        m_recorder.SetCurrentLabel("Current File");
        m_recorder.Refresh();
        extractor.Extract("C:\\T", &Watch, this);
        ++theExtractions;
        EndSequence();
        return result;
    }

    static int Watch(int code, void* param, void* context) {
        auto& self = *static_cast<ExtractingDialog*>(context);
        int result = ExtractCallback(code, param, &self.m_recorder);
        int percent = code == EXTRACT_PROGRESS ? *static_cast<int*>(param) : 0;
        std::string entry =
            code == EXTRACT_PROGRESS ? "" : static_cast<ArchiveEntry*>(param)->m_name;
        const SimDialogState& state = *self.m_sim.simWindows().dialogState();
        int current = self.m_recorder.positions.empty() ? 0 : self.m_recorder.positions.back();
        theSeen.push_back({code, percent, entry, state.control(IDC_CURRENT_LABEL)->text,
                           self.m_recorder.totalSteps, current,
                           PictureText(*state.control(IDC_TOTAL_PROGRESS)),
                           PictureText(*state.control(IDC_CURRENT_PROGRESS)),
                           self.m_sim.simWindows().pendingInput()});
        return result;
    }

private:
    SimPlatform& m_sim;
    RecordingObserver m_recorder;
};

class ExtractCallbackTest : public DialogTest {
protected:
    void SetUp() override {
        theSeen.clear();
        theExtractions = 0;
        m_modulePath = m_root + "/ZIL_Setup.exe";
        fs::create_directories(OnDriveC("T"));
    }
    void UseArchive(const std::vector<archive_test::TestEntry>& entries) {
        archive_test::WriteHostFile(m_modulePath, archive_test::BuildArchive(entries, "MZ image"));
    }
    static std::vector<archive_test::TestEntry> Entries() {
        return {
            {"tiny.txt", "a few bytes", ""},
            {"noise.bin", archive_test::RandomBytes(60000, 7), ""},
            {"empty.dat", "", ""},
            {"text.mof", archive_test::TextBytes(30000), ""},
            {"more.bin", archive_test::RandomBytes(20000, 8), ""},
        };
    }
    // The callback alone, reporting to a recorder: every call it made, in order.
    std::vector<std::string> CallsOfOneExtraction() {
        SimConfig config = Config();
        SimPlatform platform(config);
        SfxExtractor extractor(platform.files());
        RecordingObserver recorder;
        EXPECT_EQ(extractor.Extract("C:\\T", ExtractCallback, &recorder), SFX_OK);
        return recorder.calls;
    }
};

// For each entry, last to first: the window gets its messages first, then the label names the
// entry and is shown; progress halves the percentage onto the lower bar; a finished entry steps
// the upper bar. Nothing else.
TEST_F(ExtractCallbackTest, EachCodeDrivesItsControls) {
    UseArchive(
        {{"first.bin", archive_test::RandomBytes(30000, 1), ""}, {"second.txt", "short", ""}});
    std::vector<std::string> calls = CallsOfOneExtraction();
    ASSERT_GE(calls.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6),
              (std::vector<std::string>{"pump", "label Extracting second.txt", "refresh", "pump",
                                        "step", "pump"}));
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 6, calls.begin() + 8),
              (std::vector<std::string>{"label Extracting first.bin", "refresh"}));
    std::size_t progress = 0;
    for (std::size_t i = 8; i + 2 < calls.size(); i += 2) {
        EXPECT_EQ(calls[i], "pump");
        EXPECT_EQ(calls[i + 1].rfind("pos ", 0), 0u) << calls[i + 1];
        ++progress;
    }
    EXPECT_GT(progress, 0u) << "a 30 KB entry of noise reports its progress";
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"pump", "step"}));

    // A code the callback does not know only pumps.
    RecordingObserver recorder;
    EXPECT_EQ(ExtractCallback(4242, nullptr, &recorder), 0);
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"pump"});
}

TEST_F(ExtractCallbackTest, LowerBarShowsHalfTheEntryPercentage) {
    RecordingObserver recorder;
    for (auto [percent, position] : {std::pair{1, 0}, {60, 30}, {99, 49}, {100, 50}, {0, 0}}) {
        ExtractCallback(EXTRACT_PROGRESS, &percent, &recorder);
        EXPECT_EQ(recorder.positions.back(), position) << percent;
    }
    EXPECT_EQ(recorder.totalSteps, 0);
}

TEST_F(ExtractCallbackTest, BarsAndLabelFollowAWholeExtractionOnScreen) {
    const auto entries = Entries();
    UseArchive(entries);
    DialogRun run = RunProgram<ExtractingDialog>({}, {"click:1001"});
    ASSERT_EQ(theExtractions, 1);
    ASSERT_FALSE(theSeen.empty());

    std::vector<std::string> begun;
    std::string current;  // the entry between its BEGIN and DONE
    int total = 0;
    int lastCurrent = 0;
    for (const Seen& seen : theSeen) {
        switch (seen.code) {
            case EXTRACT_ENTRY_BEGIN:
                begun.push_back(seen.entry);
                current = seen.entry;
                EXPECT_EQ(seen.label, "Extracting " + seen.entry);
                // The lower bar keeps what the entry before left.
                EXPECT_EQ(seen.current, lastCurrent);
                break;
            case EXTRACT_PROGRESS:
                EXPECT_EQ(seen.current, seen.percent / 2) << current;
                EXPECT_EQ(seen.label, "Extracting " + current);
                // The bar repaints as it goes, without a message loop. Its percentage is the
                // double product truncated, so that position 29 of 100 reads 28 %.
                EXPECT_EQ(seen.currentText,
                          std::to_string(static_cast<int>(seen.current / 100.0 * 100.0)) + "%");
                lastCurrent = seen.current;
                break;
            case EXTRACT_ENTRY_DONE:
                EXPECT_EQ(seen.entry, current);
                ++total;
                break;
        }
        EXPECT_EQ(seen.total, total);
        int percent = total * 100 / static_cast<int>(entries.size());
        EXPECT_EQ(seen.totalText, std::to_string(percent) + "%");
    }
    // Last entry first.
    std::vector<std::string> reversed;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        reversed.push_back(it->name);
    }
    EXPECT_EQ(begun, reversed);
    EXPECT_EQ(total, static_cast<int>(entries.size()));
    EXPECT_EQ(theSeen.back().totalText, "100%");
    // The pump ran inside the first callback: the person's click arrived then, and found
    // Uninstall disabled. Nobody was left to act when the dialog waited.
    EXPECT_EQ(theSeen.front().inputLeft, 0u);
    EXPECT_EQ(Kind(run.journal, "window"),
              (std::vector<std::string>{"click 1001 ignored: disabled", "close"}));
    EXPECT_EQ(archive_test::ReadHostFile(OnDriveC("T/text.mof")), entries[3].data);
}

TEST_F(ExtractCallbackTest, LargeEntriesReportProgressSmallOnesDoNot) {
    UseArchive(Entries());
    RunProgram<ExtractingDialog>({});
    ASSERT_EQ(theExtractions, 1);
    std::map<std::string, std::vector<int>> percents;
    std::string current;
    for (const Seen& seen : theSeen) {
        if (seen.code == EXTRACT_ENTRY_BEGIN) {
            current = seen.entry;
            percents[current];
        } else if (seen.code == EXTRACT_PROGRESS) {
            percents[current].push_back(seen.percent);
        }
    }
    EXPECT_TRUE(percents["tiny.txt"].empty());
    EXPECT_TRUE(percents["empty.dat"].empty());
    ASSERT_GT(percents["noise.bin"].size(), 3u);
    // Half of each percentage, rising: the lower bar runs from 0 towards 50.
    const std::vector<int>& noise = percents["noise.bin"];
    EXPECT_TRUE(std::is_sorted(noise.begin(), noise.end()));
    EXPECT_LT(noise.back(), 100);
    for (const Seen& seen : theSeen) {
        if (seen.code == EXTRACT_PROGRESS) {
            EXPECT_LE(seen.current, 50);
        }
    }
}

TEST_F(ExtractCallbackTest, AnEntryThatCannotBeWrittenLeavesTheTotalOneShort) {
    UseArchive(Entries());
    // A folder where a file should go: its output file cannot be created.
    fs::create_directories(OnDriveC("T/empty.dat"));
    RunProgram<ExtractingDialog>({});
    ASSERT_EQ(theExtractions, 1);
    int done = 0;
    for (const Seen& seen : theSeen) {
        done += seen.code == EXTRACT_ENTRY_DONE ? 1 : 0;
        EXPECT_NE(seen.code == EXTRACT_ENTRY_DONE ? seen.entry : "", "empty.dat");
    }
    EXPECT_EQ(done, 4);
    ASSERT_FALSE(theSeen.empty());
    EXPECT_EQ(theSeen.back().total, 4);
    EXPECT_EQ(theSeen.back().totalText, "80%");
}

}  // namespace
