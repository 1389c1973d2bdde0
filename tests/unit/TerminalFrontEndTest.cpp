#include "demo/TerminalFrontEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/Dialog.h"
#include "platform/sim/SimWindowSystem.h"
#include "progress/TextProgressCtrl.h"
#include "res/resource.h"
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

}  // namespace
