#include "demo/TerminalFrontEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "dialog/Dialog.h"
#include "platform/sim/SimWindowSystem.h"
#include "progress/TextProgressCtrl.h"
#include "res/resource.h"
#include "tests/unit/ArchiveTestSupport.h"
#include "tests/unit/DialogTestSupport.h"
#include "tests/unit/ScratchFolder.h"

namespace {

// A pipe whose write end plays the person's keyboard.
class Keyboard {
public:
    Keyboard() {
        if (::pipe(m_fds) != 0) {
            std::abort();
        }
    }
    ~Keyboard() {
        ::close(m_fds[0]);
        Unplug();
    }
    int input() const { return m_fds[0]; }
    void Type(const std::string& keys) {
        ASSERT_EQ(::write(m_fds[1], keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    void Unplug() {
        if (m_fds[1] >= 0) {
            ::close(m_fds[1]);
            m_fds[1] = -1;
        }
    }

private:
    int m_fds[2] = {-1, -1};
};

// What the front end wrote, kept in memory.
class Screen {
public:
    Screen() : m_file(open_memstream(&m_buffer, &m_size)) {}
    ~Screen() {
        std::fclose(m_file);
        std::free(m_buffer);
    }
    std::FILE* file() { return m_file; }
    std::string Text() {
        std::fflush(m_file);
        return std::string(m_buffer, m_size);
    }

private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::FILE* m_file;
};

// The drawings of one dialog: the first, then each redraw, which first goes back up over the
// eight lines of the one before.
std::vector<std::string> Frames(const std::string& screen) {
    std::vector<std::string> frames;
    std::size_t start = 0;
    for (std::size_t up; (up = screen.find("\x1b[8A", start)) != std::string::npos;
         start = up + 4) {
        frames.push_back(screen.substr(start, up - start));
    }
    frames.push_back(screen.substr(start));
    return frames;
}

TEST(TerminalFrontEndTest, KeysAreThePersonsActionsAndTheEndOfInputClosesOnce) {
    Keyboard keyboard;
    Screen screen;
    TerminalFrontEnd front(keyboard.input(), screen.file());
    EXPECT_EQ(front.nextAction(false), "") << "no key yet: no waiting either";
    keyboard.Type("xiU\x1bq");
    std::vector<std::string> actions;
    for (int i = 0; i < 5; ++i) {
        actions.push_back(front.nextAction(true));
    }
    EXPECT_EQ(actions, (std::vector<std::string>{"", SimClick(IDC_INSTALL), SimClick(IDC_UNINSTALL),
                                                 "close", "close"}));
    EXPECT_TRUE(front.present());
    keyboard.Unplug();
    EXPECT_EQ(front.nextAction(false), "close");
    EXPECT_FALSE(front.present());
    EXPECT_EQ(front.nextAction(false), "");
    EXPECT_EQ(front.nextAction(true), "close");
    EXPECT_EQ(screen.Text(), "") << "keys draw nothing";
}

// A dialog with one self-painting bar half full, a two-line status and Install disabled.
class BarDialog : public Dialog {
public:
    explicit BarDialog(WindowSystem& windows)
        : Dialog(windows, IDD_SETUP_DIALOG), m_total(windows) {}
    bool OnInitDialog() override {
        UpdateData(false);
        m_total.SetPos(50);
        GetDlgItem(IDC_STATUS_EDIT)->show(true);
        GetDlgItem(IDC_STATUS_EDIT)->setText("first\r\nsecond\r\n");
        GetDlgItem(IDC_INSTALL)->enable(false);
        return true;
    }
    void DoDataExchange(DataExchange& exchange) override {
        exchange.Control(IDC_TOTAL_PROGRESS, m_total);
    }

private:
    TextProgressCtrl m_total;
};

TEST(TerminalFrontEndTest, DrawsTheDialogInPlaceAndTakesItsKeys) {
    test_support::ScratchFolder folder{"zil-terminal-test"};
    SimMachine machine(test_support::VirtualClockMachine(folder.string()));
    Keyboard keyboard;
    Screen screen;
    TerminalFrontEnd front(keyboard.input(), screen.file());
    SimWindowSystem windows(machine, &front);
    keyboard.Type("iu");
    keyboard.Unplug();
    BarDialog dialog(windows);
    EXPECT_EQ(dialog.DoModal(), DLG_IDCANCEL);
    EXPECT_EQ(test_support::JournalOf(machine.journalLines(), "window"),
              (std::vector<std::string>{"click 1000 ignored: disabled", "click 1001", "close"}));

    std::string text = screen.Text();
    std::vector<std::string> frames = Frames(text);
    ASSERT_GE(frames.size(), 2u);
    for (const std::string& frame : frames) {
        EXPECT_EQ(frame.rfind("\r\x1b[2K== ZIL Setup Program", 0), 0u) << frame;
        EXPECT_EQ(std::count(frame.begin(), frame.end(), '\n'), 8) << frame;
    }
    auto line = [](const std::string& content) { return "\r\x1b[2K" + content + "\n"; };
    // Cells take the colour under their middle; the text is centred in whole cells.
    std::string half =
        "[\x1b[7m" + std::string(18, ' ') + "50\x1b[27m%" + std::string(19, ' ') + "]";
    std::string empty = "[" + std::string(40, ' ') + "]";
    EXPECT_EQ(frames.back(),
              line("== ZIL Setup Program (closed) ==") + line("   ZIL Setup Program") +
                  line("   Total Progress") + line("   " + half) + line("   Current File") +
                  line("   " + empty) + line("   second") + line("   (Install) <Uninstall>"));

    // A closed dialog stays where it is: what comes next is drawn below it, not over it; so is
    // a dialog drawn after a message box.
    front.showDialog(*windows.dialogState());
    std::string next = screen.Text().substr(text.size());
    EXPECT_EQ(next.rfind("\r\x1b[2K== ", 0), 0u) << next;
    front.showMessageBox("ZIL_Setup", "Done");
    front.showDialog(*windows.dialogState());
    std::string rest = screen.Text().substr(text.size() + next.size());
    EXPECT_EQ(rest.rfind("[ZIL_Setup] Done  <OK>\n\r\x1b[2K== ", 0), 0u) << rest;
}

// The lines of a text, without their line ends.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// Two entries extracted on the shown dialog, as the extraction drives the bars and the label,
// then a box and the end.
class EntriesDialog : public Dialog {
public:
    EntriesDialog(SimWindowSystem& windows)
        : Dialog(windows, IDD_SETUP_DIALOG), m_sim(windows), m_total(windows), m_current(windows) {}
    bool OnInitDialog() override {
        UpdateData(false);
        m_sim.showDialog();
        m_total.SetRange(0, 2);
        m_total.SetPos(0);
        m_current.SetPos(0);
        for (const char* name : {"a.bin", "b.bin"}) {
            GetDlgItem(IDC_CURRENT_LABEL)->setText(std::string("Extracting ") + name);
            m_current.SetPos(0);
            m_current.SetPos(25);
            m_current.SetPos(50);
            m_total.StepIt();
        }
        GetDlgItem(IDC_CURRENT_LABEL)->setText("Current Progress");
        m_sim.messageBox("Done", "ZIL_Setup", DLG_MB_OK);
        EndDialog(DLG_IDOK);
        return true;
    }
    void DoDataExchange(DataExchange& exchange) override {
        exchange.Control(IDC_TOTAL_PROGRESS, m_total);
        exchange.Control(IDC_CURRENT_PROGRESS, m_current);
    }

private:
    SimWindowSystem& m_sim;
    TextProgressCtrl m_total;
    TextProgressCtrl m_current;
};

// Without a terminal, as in a log or behind a pipe: no control code, one line for each pair of
// labels with the bars as they were when the labels changed (a box comes after the state it
// interrupted), and the whole dialog once it has closed.
TEST(TerminalFrontEndTest, LinesKeepEachLabelsLastStateAndTheClosedDialog) {
    test_support::ScratchFolder folder{"zil-terminal-test"};
    SimMachine machine(test_support::VirtualClockMachine(folder.string()));
    Keyboard keyboard;
    keyboard.Unplug();
    Screen screen;
    TerminalFrontEnd front(keyboard.input(), screen.file(), TerminalFrontEnd::Drawing::Lines);
    SimWindowSystem windows(machine, &front);
    EntriesDialog dialog(windows);
    EXPECT_EQ(dialog.DoModal(), DLG_IDOK);

    std::string text = screen.Text();
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    std::vector<std::string> lines = LinesOf(text);
    auto shown = std::find(lines.begin(), lines.end(), "== ZIL Setup Program ==");
    ASSERT_NE(shown, lines.end()) << text;
    // In 20 cells, and in the whole dialog's 40, '#' for filled cells beside the text.
    const std::string none = "[" + std::string(9, ' ') + "0%" + std::string(9, ' ') + "]";
    const std::string half = "[" + std::string(8, '#') + "50%" + std::string(9, ' ') + "]";
    const std::string full = "[" + std::string(8, '#') + "100%" + std::string(8, '#') + "]";
    const std::vector<std::string> expected = {
        "== ZIL Setup Program ==",
        "   Total Progress " + none + " Current File " + none,
        "   Total Progress " + half + " Extracting a.bin " + half,
        "   Total Progress " + full + " Extracting b.bin " + half,
        "   Total Progress " + full + " Current Progress " + half,
        "[ZIL_Setup] Done  <OK>",
        "== ZIL Setup Program (closed) ==",
        "   ZIL Setup Program",
        "   Total Progress",
        "   [" + std::string(18, '#') + "100%" + std::string(18, '#') + "]",
        "   Current Progress",
        "   [" + std::string(18, '#') + "50%" + std::string(19, ' ') + "]",
        "   ",
        "   <Install> <Uninstall>",
    };
    EXPECT_EQ(std::vector<std::string>(shown, lines.end()), expected) << text;
}

// A dialog that goes through every way of being out of sight, then back into view.
class HidingDialog : public Dialog {
public:
    explicit HidingDialog(SimWindowSystem& windows)
        : Dialog(windows, IDD_SETUP_DIALOG), m_sim(windows) {}
    bool OnInitDialog() override {
        Rect whole = m_sim.dialogState()->windowRect;
        auto label = [&](const char* text) { GetDlgItem(IDC_CURRENT_LABEL)->setText(text); };
        label("before");
        m_sim.showDialog();
        label("shown");
        SetWindowPos(0, 0, 1, 1);
        label("collapsed");
        SetWindowPos(whole.left, whole.top, whole.width(), whole.height());
        m_sim.setIconic(true);
        label("minimised");
        m_sim.setIconic(false);
        label("back");
        EndDialog(DLG_IDOK);
        return true;
    }

private:
    SimWindowSystem& m_sim;
};

// The caption line tells why a bar shows nothing: no pixel of the window can be seen.
TEST(TerminalFrontEndTest, TheCaptionSaysWhenNothingOfTheWindowCanBeSeen) {
    test_support::ScratchFolder folder{"zil-terminal-test"};
    SimMachine machine(test_support::VirtualClockMachine(folder.string()));
    Keyboard keyboard;
    keyboard.Unplug();
    Screen screen;
    TerminalFrontEnd front(keyboard.input(), screen.file(), TerminalFrontEnd::Drawing::Lines);
    SimWindowSystem windows(machine, &front);
    HidingDialog dialog(windows);
    EXPECT_EQ(dialog.DoModal(), DLG_IDOK);
    std::vector<std::string> captions;
    for (const std::string& line : LinesOf(screen.Text())) {
        if (line.rfind("== ", 0) == 0) {
            captions.push_back(line);
        }
    }
    EXPECT_EQ(captions, (std::vector<std::string>{
                            "== ZIL Setup Program (not shown) ==", "== ZIL Setup Program ==",
                            "== ZIL Setup Program (collapsed to 1x1) ==", "== ZIL Setup Program ==",
                            "== ZIL Setup Program (minimised) ==", "== ZIL Setup Program ==",
                            "== ZIL Setup Program (closed) =="}))
        << screen.Text();
}

// The setup program itself on the machine, drawn as plain lines, the way scripts/demo.sh shows
// its runs when nobody watches a terminal.
class TerminalRunTest : public dialog_test::DialogTest {
protected:
    void SetUp() override {
        m_modulePath = m_root + "/ZIL_Setup.exe";
        archive_test::WriteHostFile(m_modulePath,
                                    archive_test::BuildArchive(m_entries, "MZ image"));
    }

    std::string LinesOfRun(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& input) {
        Keyboard keyboard;
        keyboard.Unplug();  // nobody at the keyboard: a dialog that waits is closed
        Screen screen;
        {
            SimPlatform platform(Config(input), std::make_unique<TerminalFrontEnd>(
                                                    keyboard.input(), screen.file(),
                                                    TerminalFrontEnd::Drawing::Lines));
            SetupDialog dialog(platform, ReadCommandLine(platform, arguments));
            dialog.DoModal();
        }
        return screen.Text();
    }

    // The summary lines that name an entry, in the order written.
    static std::vector<std::string> EntryLines(const std::string& text) {
        std::vector<std::string> found;
        for (const std::string& line : LinesOf(text)) {
            if (line.find("Extracting ") != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }

    const std::vector<archive_test::TestEntry> m_entries = {
        {"a.txt", "a few bytes", ""},
        {"ZIL_Service.exe", archive_test::RandomBytes(40000, 3), ""},
        {"b.bin", archive_test::RandomBytes(90000, 4), ""},
    };
};

// Install clicked in the dialog: a line for every entry, the upper bar stepping on with each
// finished entry and the lower one filled as far as its stream went.
TEST_F(TerminalRunTest, AnInstallClickedShowsEveryEntryWithItsBars) {
    std::string text = LinesOfRun({}, {SimClick(IDC_INSTALL)});
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    std::vector<std::string> lines = EntryLines(text);
    ASSERT_EQ(lines.size(), m_entries.size()) << text;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t label = line.find("Extracting ");
        std::size_t nameEnd = line.find(" [", label);
        names.push_back(line.substr(label + 11, nameEnd - label - 11));
        // The upper bar, as the entry ended: the entries before it and this one are done.
        std::string total = line.substr(0, label);
        std::string percent = std::to_string((i + 1) * 100 / m_entries.size()) + "%";
        EXPECT_NE(total.find(percent), std::string::npos) << line;
        EXPECT_NE(total.find('#'), std::string::npos) << line;
        if (names.back() == "b.bin") {
            // The largest stream is inflated in many steps: its bar has moved.
            EXPECT_NE(line.find('#', nameEnd), std::string::npos) << line;
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ZIL_Service.exe", "a.txt", "b.bin"})) << text;
}

// A command-line run collapses the window and never shows it, so its bars paint nothing: the
// lines say so and still name each entry on its label, with no bar drawn that was not painted.
TEST_F(TerminalRunTest, ACommandLineRunShowsItsLabelsAndNoUnpaintedBar) {
    std::string text = LinesOfRun({"/I"}, {});
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_NE(text.find("== ZIL Setup Program (not shown) =="), std::string::npos) << text;
    std::vector<std::string> lines = EntryLines(text);
    ASSERT_EQ(lines.size(), m_entries.size()) << text;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('#'), std::string::npos) << line;
        EXPECT_EQ(line.find('%'), std::string::npos) << line;
    }
    for (const archive_test::TestEntry& entry : m_entries) {
        EXPECT_NE(text.find("Extracting " + entry.name + " ["), std::string::npos) << entry.name;
    }
}

}  // namespace
