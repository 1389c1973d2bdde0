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
using dialog_test::JournalOf;
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
        BeginSequence();
        SfxExtractor extractor;
        std::string fault;
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

}  // namespace
