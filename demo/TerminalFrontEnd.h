#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <termios.h>

#include "platform/sim/SimFrontEnd.h"

// The dialog on a text terminal (ZIL_UI=text): the title, the two bars with their labels and
// percent text, the status line and the two buttons, redrawn in place with ANSI sequences on
// every change; message boxes as one line each. The keys i, u and Esc (or q) are the person's
// clicks on Install and Uninstall and the close request; the end of the input means nobody is
// left, which closes the dialog once.
class TerminalFrontEnd : public SimFrontEnd {
public:
    // Reads keys from input (a terminal is put in raw mode while a dialog runs) and draws on
    // output; neither is closed here.
    TerminalFrontEnd(int input, std::FILE* output) : m_input(input), m_output(output) {}
    ~TerminalFrontEnd() override { restoreTerminal(); }

    void beginModal() override;
    void endModal() override;
    void showDialog(const SimDialogState& dialog) override;
    void showMessageBox(const std::string& caption, const std::string& text) override;
    std::string nextAction(bool wait) override;
    bool present() const override { return !m_inputEnded; }

private:
    void write(const std::vector<std::string>& lines);
    void restoreTerminal();

    int m_input;
    std::FILE* m_output;
    int m_lines = 0;  // lines of the last drawing, to go back over
    bool m_inputEnded = false;
    bool m_raw = false;  // the terminal is in raw mode; m_saved is how it was before
    termios m_saved{};
};
