#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/unit/ArchiveTestSupport.h"
#include "tests/unit/DialogTestSupport.h"

namespace {

using dialog_test::DialogRun;
using dialog_test::DialogTest;
using dialog_test::Kind;
namespace fs = std::filesystem;

// What the screen showed after one callback call.
struct Seen {
    int code;
    int percent;  // for EXTRACT_PROGRESS
    std::string entry;
    std::string label;
    int total;
    int current;
    std::string totalText;
    std::string currentText;
    std::size_t inputLeft;
};

std::vector<Seen> theSeen;

std::string PictureText(const SimControlState& bar) {
    return bar.picture.texts.empty() ? "" : bar.picture.texts.front().text;
}

// Extracts the program's own archive from inside the interactive dialog, the way a sequence
// does, watching the screen after every callback.
class ExtractingDialog : public SetupDialog {
public:
    using SetupDialog::SetupDialog;

    bool OnInitDialog() override {
        bool result = SetupDialog::OnInitDialog();
        EXPECT_TRUE(BeginSequence());
        m_currentProgress.SetPos(0);
        m_totalProgress.SetRange(0, m_extractor.m_entryCount);
        m_currentLabel = "Current File";
        UpdateData(false);
        m_result = m_extractor.Extract("C:\\T", &Watch, this);
        // A code the callback does not know only pumps.
        Seen before = Look(0, 0, "");
        ExtractCallback(4242, nullptr, this);
        Seen after = Look(0, 0, "");
        EXPECT_EQ(before.label, after.label);
        EXPECT_EQ(before.total, after.total);
        EXPECT_EQ(before.current, after.current);
        EndSequence();
        return result;
    }

    static int Watch(int code, void* param, void* context) {
        auto& self = *static_cast<ExtractingDialog*>(context);
        int result = ExtractCallback(code, param, context);
        int percent = code == EXTRACT_PROGRESS ? *static_cast<int*>(param) : 0;
        std::string entry =
            code == EXTRACT_PROGRESS ? "" : static_cast<ArchiveEntry*>(param)->m_name;
        theSeen.push_back(self.Look(code, percent, entry));
        return result;
    }

    Seen Look(int code, int percent, const std::string& entry) {
        auto& sim = static_cast<SimPlatform&>(m_platform).simWindows();
        const SimDialogState& state = *sim.dialogState();
        return {code,
                percent,
                entry,
                state.control(IDC_CURRENT_LABEL)->text,
                m_totalProgress.GetPos(),
                m_currentProgress.GetPos(),
                PictureText(*state.control(IDC_TOTAL_PROGRESS)),
                PictureText(*state.control(IDC_CURRENT_PROGRESS)),
                sim.pendingInput()};
    }

    int m_result = 0;
};

// Feeds the callback percentages by hand.
class PercentDialog : public SetupDialog {
public:
    using SetupDialog::SetupDialog;
    bool OnInitDialog() override {
        bool result = SetupDialog::OnInitDialog();
        auto& sim = static_cast<SimPlatform&>(m_platform).simWindows();
        for (auto [percent, position] : {std::pair{1, 0}, {60, 30}, {99, 49}, {100, 50}, {0, 0}}) {
            ExtractCallback(EXTRACT_PROGRESS, &percent, this);
            EXPECT_EQ(m_currentProgress.GetPos(), position) << percent;
            EXPECT_EQ(PictureText(*sim.dialogState()->control(IDC_CURRENT_PROGRESS)),
                      std::to_string(position) + "%")
                << percent;
        }
        EXPECT_EQ(m_totalProgress.GetPos(), 0);
        return result;
    }
};

class ExtractCallbackTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        theSeen.clear();
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
};

TEST_F(ExtractCallbackTest, BarsAndLabelFollowAWholeExtraction) {
    const auto entries = Entries();
    UseArchive(entries);
    DialogRun run = RunProgram<ExtractingDialog>({}, {"click:1001"});
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
                lastCurrent = seen.current;
                break;
            case EXTRACT_ENTRY_DONE:
                EXPECT_EQ(seen.entry, current);
                ++total;
                break;
        }
        EXPECT_EQ(seen.total, total);
        // The bars repaint as they go, without a message loop.
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

TEST_F(ExtractCallbackTest, LowerBarShowsHalfTheEntryPercentage) {
    RunProgram<PercentDialog>({});
}

TEST_F(ExtractCallbackTest, LargeEntriesReportProgressSmallOnesDoNot) {
    UseArchive(Entries());
    RunProgram<ExtractingDialog>({});
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
            EXPECT_EQ(seen.currentText, std::to_string(seen.current) + "%");
        }
    }
}

TEST_F(ExtractCallbackTest, AnEntryThatCannotBeWrittenLeavesTheTotalOneShort) {
    UseArchive(Entries());
    // A folder where a file should go: its output file cannot be created.
    fs::create_directories(OnDriveC("T/empty.dat"));
    RunProgram<ExtractingDialog>({});
    int done = 0;
    std::vector<std::string> labels;
    for (const Seen& seen : theSeen) {
        done += seen.code == EXTRACT_ENTRY_DONE ? 1 : 0;
        EXPECT_NE(seen.code == EXTRACT_ENTRY_DONE ? seen.entry : "", "empty.dat");
    }
    EXPECT_EQ(done, 4);
    EXPECT_EQ(theSeen.back().total, 4);
    EXPECT_EQ(theSeen.back().totalText, "80%");
}

}  // namespace
