#include <gtest/gtest.h>

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

// Each code, alone: the window gets its messages first, then a new entry is named on the label
// and shown, progress puts half the percentage on the lower bar, a finished entry steps the
// upper bar, and an unknown code does nothing more.
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
          Case{EXTRACT_PROGRESS, 1, {"pump", "pos 0"}},
          Case{EXTRACT_PROGRESS, 61, {"pump", "pos 30"}},
          Case{EXTRACT_PROGRESS, 100, {"pump", "pos 50"}},
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
    std::string entry;
    std::string label;
    int total;    // entries the upper bar has stepped over
    int current;  // the lower bar's position
    std::string totalText;
    std::string currentText;
    std::size_t inputLeft;
};

std::vector<Seen> theSeen;

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
        SfxExtractor extractor;
        std::string fault;
        ReadOwnDirectory(extractor, m_sim.files(), fault);
        m_recorder.SetCurrentPos(0);
        m_recorder.SetTotalRange(0, extractor.m_entryCount);
        m_recorder.SetCurrentLabel("Current File");
        m_recorder.Refresh();
        ExtractOwnArchive(extractor, m_sim.files(), "C:\\T", &Watch, this);
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

class ExtractCallbackTest : public DialogTest {};

TEST_F(ExtractCallbackTest, BarsAndLabelFollowAWholeExtractionOnScreen) {
    theSeen.clear();
    fs::create_directories(OnDriveC("T"));
    const std::vector<archive_test::TestEntry> entries = {
        {"tiny.txt", "a few bytes", ""},
        {"noise.bin", archive_test::RandomBytes(60000, 7), ""},
        {"empty.dat", "", ""},
        {"text.mof", archive_test::TextBytes(30000), ""},
        {"more.bin", archive_test::RandomBytes(20000, 8), ""},
    };
    m_modulePath = m_root + "/ZIL_Setup.exe";
    archive_test::WriteHostFile(m_modulePath, archive_test::BuildArchive(entries, "MZ image"));
    DialogRun run = RunProgram<ExtractingDialog>({}, {"click:1001"});
    ASSERT_FALSE(theSeen.empty());

    std::vector<std::string> begun;
    std::string current;  // the entry between its BEGIN and DONE
    int total = 0;
    int lastCurrent = 0;
    int progressOfNoise = 0;
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
                progressOfNoise += current == "noise.bin";
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
    EXPECT_EQ(begun, (std::vector<std::string>{"more.bin", "text.mof", "empty.dat", "noise.bin",
                                               "tiny.txt"}));
    EXPECT_EQ(total, static_cast<int>(entries.size()));
    EXPECT_GT(progressOfNoise, 3);
    // The pump ran inside the first callback: the person's click arrived then, and found
    // Uninstall disabled. Nobody was left to act when the dialog waited.
    EXPECT_EQ(theSeen.front().inputLeft, 0u);
    EXPECT_EQ(Kind(run.journal, "window"),
              (std::vector<std::string>{"click 1001 ignored: disabled", "close"}));
    EXPECT_EQ(archive_test::ReadHostFile(OnDriveC("T/text.mof")), entries[3].data);
}

}  // namespace
