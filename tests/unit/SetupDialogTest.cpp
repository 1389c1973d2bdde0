#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/unit/DialogTestSupport.h"

namespace {

using dialog_test::DialogRun;
using dialog_test::DialogTest;
using dialog_test::JournalOf;
using dialog_test::ReadHostFile;
namespace fs = std::filesystem;

constexpr const char* PREVIOUS_TEXT =
    "Previous ZIL version Detected , Pleas use ZIL V1.04 to remove !!!";
constexpr const char* USAGE_TEXT = "Please use /I or /i to Install , use /U or /u to Uninstall";
constexpr int HIDDEN_BUTTONS[] = {IDC_CLOSE_PRODUCT, IDC_EXIT, IDC_TEST, IDC_LAUNCH};

std::string LogFileText(const std::string& root) {
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.path().filename() == "ZIL_Setup.log") {
            return ReadHostFile(item.path());
        }
    }
    return "";
}

using SetupDialogTest = DialogTest;

TEST_F(SetupDialogTest, InteractiveStartShowsEverythingAndWaits) {
    DialogRun run = RunProgram({});
    const SimDialogState& dialog = run.dialog;
    const SimControlState* edit = dialog.control(IDC_STATUS_EDIT);
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->visible);
    EXPECT_EQ(edit->text, "C:\\ZIL_Setup_temp");
    EXPECT_EQ(dialog.control(IDC_TITLE)->text, "ZIL Setup Program.");
    EXPECT_EQ(dialog.control(IDC_TOTAL_LABEL)->text, "Total Progress");
    EXPECT_EQ(dialog.control(IDC_CURRENT_LABEL)->text, "Current Progress");
    for (int bar : {IDC_TOTAL_PROGRESS, IDC_CURRENT_PROGRESS}) {
        const SimControlState* state = dialog.control(bar);
        EXPECT_TRUE(state->visible) << bar;
        EXPECT_TRUE(state->subclassed) << bar;
        ASSERT_FALSE(state->picture.texts.empty()) << bar;
        EXPECT_EQ(state->picture.texts.front().text, "0%") << bar;
        EXPECT_EQ(state->eraseCount, 0) << bar;
    }
    for (int id : HIDDEN_BUTTONS) {
        EXPECT_FALSE(dialog.control(id)->visible) << id;
    }
    for (int id : {IDC_INSTALL, IDC_UNINSTALL}) {
        EXPECT_TRUE(dialog.control(id)->visible && dialog.control(id)->enabled) << id;
    }
    EXPECT_EQ(dialog.icon, static_cast<IconHandle>(IDR_MAINFRAME));
    EXPECT_TRUE(dialog.moves.empty());
    EXPECT_TRUE(run.boxes.empty());
    // Nobody clicked: closed without a sequence.
    EXPECT_EQ(run.modalResult, DLG_IDCANCEL);
    EXPECT_EQ(run.exitCode, SETUP_EXIT_CLOSED);
    EXPECT_FALSE(dialog.exists);
}

TEST_F(SetupDialogTest, PreviousVersionEndsTheInteractiveDialogBeforeAnyClick) {
    // The mark may be a file or a folder, in any letter case.
    for (const char* mark : {"Program Files/ZIL/picture", "program files/zil/PICTURE/"}) {
        fs::remove_all(OnDriveC("Program Files"));
        fs::remove_all(OnDriveC("program files"));
        if (std::string(mark).back() == '/') {
            fs::create_directories(OnDriveC(mark));
        } else {
            PlaceFile(mark);
        }
        DialogRun run = RunProgram({}, {SimClick(IDC_INSTALL)});
        ASSERT_EQ(run.boxes.size(), 1u) << mark;
        EXPECT_EQ(run.boxes[0].text, PREVIOUS_TEXT);
        EXPECT_EQ(run.boxes[0].type, static_cast<unsigned>(DLG_MB_OK));
        EXPECT_EQ(run.exitCode, SETUP_EXIT_PREVIOUS_VERSION);
        EXPECT_EQ(run.inputLeft, 1u) << "the click must find the dialog gone";
        EXPECT_TRUE(JournalOf(run.journal, "window").empty()) << mark;
    }
}

// From the command line the sequence runs first; the previous version is then reported in the
// log file, never in a box, and the exit code says so unless the sequence itself failed (this
// machine has no archive, so the install fails and keeps its own code; the uninstall succeeds).
TEST_F(SetupDialogTest, PreviousVersionFromTheCommandLineGoesToTheLog) {
    PlaceFile("Program Files/ZIL/picture");
    const std::pair<const char*, int> runs[] = {{"/I", SETUP_EXIT_BAD_ARCHIVE},
                                                {"-U", SETUP_EXIT_PREVIOUS_VERSION},
                                                {"i", SETUP_EXIT_BAD_ARCHIVE},
                                                {"u", SETUP_EXIT_PREVIOUS_VERSION}};
    for (auto [argument, exitCode] : runs) {
        fs::remove_all(OnDriveC("Windows"));
        DialogRun run = RunProgram({argument});
        EXPECT_TRUE(run.boxes.empty()) << argument;
        EXPECT_EQ(run.exitCode, exitCode) << argument;
        EXPECT_TRUE(run.dialog.ended) << argument;
        EXPECT_NE(LogFileText(m_root).find(PREVIOUS_TEXT), std::string::npos) << argument;
    }
}

TEST_F(SetupDialogTest, UsageIsTheOnlyBoxEvenWithAPreviousVersion) {
    for (bool previous : {false, true}) {
        if (previous) {
            PlaceFile("Program Files/ZIL/picture");
        }
        for (const char* argument : {"/X", "//I", "-install"}) {
            DialogRun run = RunProgram({argument}, {SimClick(IDC_INSTALL)});
            ASSERT_EQ(run.boxes.size(), 1u) << argument;
            EXPECT_EQ(run.boxes[0].text, USAGE_TEXT);
            EXPECT_EQ(JournalOf(run.journal, "messagebox"),
                      std::vector<std::string>{run.boxes[0].caption + ": " + USAGE_TEXT});
            EXPECT_EQ(run.exitCode, SETUP_EXIT_USAGE);
            EXPECT_EQ(run.modalResult, DLG_IDCANCEL);
            EXPECT_TRUE(run.dialog.moves.empty());
            EXPECT_EQ(run.inputLeft, 1u);
            // Nothing else happened on the machine.
            EXPECT_EQ(run.journal.size(), 1u) << argument;
        }
    }
}

TEST_F(SetupDialogTest, CommandLineCollapsesTheWindowBeforeTheSequence) {
    for (const char* argument : {"/I", "/U"}) {
        DialogRun run = RunProgram({argument});
        ASSERT_FALSE(run.journal.empty()) << argument;
        EXPECT_EQ(run.journal.front(), "window: move 0,0 1x1") << argument;
        EXPECT_EQ(run.dialog.windowRect, (Rect{0, 0, 1, 1})) << argument;
        // Some act of the sequence followed the collapse.
        EXPECT_GT(run.journal.size(), 1u) << argument;
        EXPECT_TRUE(run.dialog.ended) << argument;
        // Interactive set-up of the bars is skipped in this mode.
        EXPECT_TRUE(run.dialog.control(IDC_STATUS_EDIT)->visible) << argument;
    }
}

TEST_F(SetupDialogTest, MessageBoxCaptionIsTheProgramNameWithoutExtension) {
    m_modulePath = m_root + "/ZIL_Setup.exe";
    DialogRun run = RunProgram({"/X"});
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "ZIL_Setup");
}

// A dialog that exercises its own message map and sequence guard while it is up.
class ProbeDialog : public SetupDialog {
public:
    ProbeDialog(SimPlatform& platform, RunMode mode)
        : SetupDialog(platform, mode), m_sim(platform) {}
    bool OnInitDialog() override {
        bool result = SetupDialog::OnInitDialog();
        Probe();
        theProbesRun += 1;
        return result;
    }
    virtual void Probe() = 0;
    // The probes assert inside the running dialog: a dialog that never came up must fail too.
    static inline int theProbesRun = 0;
    SimWindowSystem& Sim() { return m_sim.simWindows(); }
    const SimControlState& State(int id) { return *Sim().dialogState()->control(id); }

private:
    SimPlatform& m_sim;
};

class MessageMapProbe : public ProbeDialog {
public:
    using ProbeDialog::ProbeDialog;
    void Probe() override {
        std::intptr_t result = 0;
        EXPECT_TRUE(HandleMessage({DLG_WM_QUERYDRAGICON, 0, 0}, result));
        EXPECT_EQ(result, static_cast<std::intptr_t>(IDR_MAINFRAME));
        // Painting and system commands go on to the default processing.
        EXPECT_FALSE(HandleMessage({DLG_WM_PAINT, 0, 0}, result));
        EXPECT_FALSE(HandleMessage({DLG_WM_SYSCOMMAND, 0xF060, 0}, result));
        Sim().setIconic(true);
        EXPECT_TRUE(HandleMessage({DLG_WM_PAINT, 0, 0}, result));
        const SimDialogState& dialog = *Sim().dialogState();
        ASSERT_EQ(dialog.iconPaints.size(), 1u);
        EXPECT_EQ(dialog.iconPaints[0].icon, static_cast<IconHandle>(IDR_MAINFRAME));
        EXPECT_EQ(dialog.iconPaints[0].x, (dialog.clientRect.width() - 32 + 1) / 2);
        EXPECT_EQ(dialog.iconPaints[0].y, (dialog.clientRect.height() - 32 + 1) / 2);
        Sim().setIconic(false);
        // Hidden "Test" button: the collapse. An unknown control and a notification other
        // than a click reach nothing.
        EXPECT_TRUE(OnCommand(IDC_TEST));
        EXPECT_EQ(dialog.windowRect, (Rect{0, 0, 1, 1}));
        EXPECT_FALSE(OnCommand(4242));
        EXPECT_FALSE(HandleMessage({DLG_WM_COMMAND, (1u << 16) | IDC_TEST, 0}, result));
        EXPECT_EQ(dialog.moves.size(), 1u);
        // IDCANCEL is the framework's own entry behind the table.
        EXPECT_FALSE(dialog.ended);
        EXPECT_TRUE(OnCommand(DLG_IDCANCEL));
        EXPECT_TRUE(dialog.ended);
    }
};

TEST_F(SetupDialogTest, MessageMapRoutesMessagesAndClicks) {
    ProbeDialog::theProbesRun = 0;
    DialogRun run = RunProgram<MessageMapProbe>({}, {SimClick(IDC_INSTALL)});
    EXPECT_EQ(ProbeDialog::theProbesRun, 1);
    EXPECT_EQ(run.modalResult, DLG_IDCANCEL);
    EXPECT_EQ(run.inputLeft, 1u);
}

// While a sequence runs, the pump lets the person's clicks and close requests through; none
// may start a second sequence or end the dialog under the first.
class GuardProbe : public ProbeDialog {
public:
    using ProbeDialog::ProbeDialog;
    void Probe() override {
        ASSERT_TRUE(BeginSequence());
        EXPECT_FALSE(BeginSequence());
        EXPECT_FALSE(State(IDC_INSTALL).enabled);
        EXPECT_FALSE(State(IDC_UNINSTALL).enabled);
        for (int i = 0; i < 3; ++i) {
            windows().pumpMessages();
        }
        EXPECT_EQ(Sim().pendingInput(), 0u);
        EXPECT_FALSE(window()->hasEnded());
        EndSequence();
        EXPECT_TRUE(State(IDC_INSTALL).enabled);
        EXPECT_TRUE(State(IDC_UNINSTALL).enabled);
        EXPECT_TRUE(BeginSequence());
        Dialog::OnCancel();  // a sequence ends the dialog itself
        EndSequence();
        EXPECT_FALSE(State(IDC_INSTALL).enabled) << "nothing to re-enable on a closed dialog";
    }
};

TEST_F(SetupDialogTest, NoSecondSequenceInsideTheFirst) {
    ProbeDialog::theProbesRun = 0;
    DialogRun run =
        RunProgram<GuardProbe>({}, {SimClick(IDC_INSTALL), SimClick(IDC_UNINSTALL), "close"});
    EXPECT_EQ(ProbeDialog::theProbesRun, 1);
    EXPECT_EQ(JournalOf(run.journal, "window"),
              (std::vector<std::string>{"click 1000 ignored: disabled",
                                        "click 1001 ignored: disabled", "close"}));
    EXPECT_EQ(run.modalResult, DLG_IDCANCEL);
}

// Only the dialog that waits for a click ever appears: a command-line run, or the usage box, is
// over inside the initialisation, and its window never shows, so its bars never paint.
TEST_F(SetupDialogTest, OnlyTheInteractiveDialogIsEverShown) {
    for (const char* argument : {"/I", "/U", "/X", ""}) {
        std::vector<std::string> arguments;
        if (*argument != '\0') {
            arguments.push_back(argument);
        }
        DialogRun run = RunProgram(arguments);
        bool interactive = *argument == '\0';
        EXPECT_EQ(run.dialog.everVisible, interactive) << argument;
        for (int bar : {IDC_TOTAL_PROGRESS, IDC_CURRENT_PROGRESS}) {
            EXPECT_EQ(run.dialog.control(bar)->paintCount > 0, interactive) << argument;
        }
    }
}

// A bar that nobody can see keeps up with its position but does not paint; the moment it comes
// into view it paints what it holds, and a position with the same width paints nothing more.
class UnseenBarProbe : public ProbeDialog {
public:
    using ProbeDialog::ProbeDialog;
    void Probe() override {
        SequenceObserver& bars = *this;
        ControlWindow& bar = *GetDlgItem(IDC_CURRENT_PROGRESS);
        const Rect whole = Sim().dialogState()->windowRect;
        const struct {
            const char* way;
            std::function<void()> hide, reveal;
        } ways[] = {
            {"not shown yet", [] {}, [&] { Sim().showDialog(); }},
            {"collapsed", [&] { OnTest(); },
             [&] { SetWindowPos(whole.left, whole.top, whole.width(), whole.height()); }},
            {"outside the client area", [&] { SetWindowPos(whole.left, whole.top, 20, 300); },
             [&] { SetWindowPos(whole.left, whole.top, whole.width(), whole.height()); }},
            {"minimised", [&] { Sim().setIconic(true); }, [&] { Sim().setIconic(false); }},
            {"bar hidden", [&] { bar.show(false); }, [&] { bar.show(true); }},
        };
        int position = 0;
        for (const auto& way : ways) {
            way.hide();
            int paints = State(IDC_CURRENT_PROGRESS).paintCount;
            for (int i = 0; i < 20; ++i) {
                bars.SetCurrentPos(position = (position + 7) % 101);
            }
            EXPECT_EQ(State(IDC_CURRENT_PROGRESS).paintCount, paints) << way.way;
            way.reveal();
            windows().pumpMessages();
            const SimControlState& state = State(IDC_CURRENT_PROGRESS);
            EXPECT_EQ(state.paintCount, paints + 1) << way.way;
            ASSERT_FALSE(state.picture.texts.empty()) << way.way;
            EXPECT_EQ(state.picture.texts.front().text, std::to_string(position) + "%") << way.way;
            int filled =
                state.picture.fills.empty() ? -1 : state.picture.fills.front().area.width();
            EXPECT_EQ(filled, state.clientRect().width() * position / 100) << way.way;
            bars.SetCurrentPos(position);
            EXPECT_EQ(State(IDC_CURRENT_PROGRESS).paintCount, paints + 1) << way.way;
        }
        // Part of the bar in view is enough to paint.
        SetWindowPos(whole.left, whole.top, 60, whole.height());
        int paints = State(IDC_CURRENT_PROGRESS).paintCount;
        bars.SetCurrentPos(position = (position + 50) % 101);
        EXPECT_EQ(State(IDC_CURRENT_PROGRESS).paintCount, paints + 1);
    }
};

TEST_F(SetupDialogTest, BarsOutOfSightDoNotPaintAndPaintRightOnceSeen) {
    ProbeDialog::theProbesRun = 0;
    RunProgram<UnseenBarProbe>({});
    EXPECT_EQ(ProbeDialog::theProbesRun, 1);
}

// The data exchange leaves a control alone when it shows the text already: an edit given its
// own text again would lose its caret and scroll position and notify a change.
class TextProbe : public ProbeDialog {
public:
    using ProbeDialog::ProbeDialog;
    void Probe() override {
        const int ids[] = {IDC_STATUS_EDIT, IDC_TOTAL_LABEL, IDC_CURRENT_LABEL, IDC_TITLE};
        auto sets = [&] {
            std::vector<int> counts;
            for (int id : ids) {
                counts.push_back(State(id).textSets);
            }
            return counts;
        };
        SequenceObserver& reports = *this;
        std::vector<int> before = sets();
        reports.Refresh();
        reports.Refresh();
        EXPECT_EQ(sets(), before) << "nothing changed, nothing set";
        reports.SetCurrentLabel("Extracting a.bmp");
        reports.Refresh();
        before[2] += 1;
        EXPECT_EQ(sets(), before);
        EXPECT_EQ(State(IDC_CURRENT_LABEL).text, "Extracting a.bmp");
        // What a person typed into the edit is replaced by the dialog's own text.
        GetDlgItem(IDC_STATUS_EDIT)->setText("typed");
        before[0] += 1;
        reports.Refresh();
        before[0] += 1;
        EXPECT_EQ(sets(), before);
        EXPECT_EQ(State(IDC_STATUS_EDIT).text, "C:\\ZIL_Setup_temp");
    }
};

TEST_F(SetupDialogTest, TextsAreSetOnlyWhenTheyChange) {
    ProbeDialog::theProbesRun = 0;
    RunProgram<TextProbe>({});
    EXPECT_EQ(ProbeDialog::theProbesRun, 1);
}

}  // namespace
