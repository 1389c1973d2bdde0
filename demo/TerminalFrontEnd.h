#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <termios.h>

#include "platform/sim/SimFrontEnd.h"

// The dialog on a text terminal (ZIL_UI=text): the title, the two bars with their labels and
// percent text, the status line and the two buttons, with the dialog's state beside its caption
// (closed, not shown, minimised, collapsed); message boxes as one line each. The keys i, u and
// Esc (or q) are the person's clicks on Install and Uninstall and the close request; the end of
// the input means nobody is left, which closes the dialog once.
class TerminalFrontEnd : public SimFrontEnd {
public:
    // InPlace redraws the dialog over itself with ANSI sequences on every change a viewer could
    // see. Lines is for a file or a pipe, which keeps everything written and reads no control
    // code: plain text only, one line for each pair of labels with the bars as they stood when
    // the labels changed (so one per extracted entry), and the whole dialog when it ends.
    enum class Drawing { InPlace, Lines };

    // Reads keys from input (a terminal is put in raw mode while a dialog runs) and draws on
    // output; neither is closed here.
    TerminalFrontEnd(int input, std::FILE* output, Drawing drawing = Drawing::InPlace)
        : m_input(input), m_output(output), m_drawing(drawing) {}
    ~TerminalFrontEnd() override { restoreTerminal(); }

    void beginModal() override;
    void endModal() override;
    void showDialog(const SimDialogState& dialog) override;
    void showMessageBox(const std::string& caption, const std::string& text) override;
    std::string nextAction(bool wait) override;
    bool present() const override { return !m_inputEnded; }

    // What one look at the dialog shows: the whole dialog (its first line the caption with the
    // dialog's state), and the one line that Lines keeps of it.
    struct View {
        std::vector<std::string> frame;
        std::string summary;
        std::string labels;  // the caption line and both labels: a change ends a summary
    };

private:
    void write(const std::vector<std::string>& lines);
    void emit(const std::string& text);
    // Lines: the summary of a view whose labels are over, below its caption line when that is
    // new; a line the same as the one before it is not repeated.
    void writeSummary(const View& view);
    void restoreTerminal();

    int m_input;
    std::FILE* m_output;
    Drawing m_drawing;
    int m_lines = 0;                   // InPlace: lines of the last drawing, to go back over
    std::vector<std::string> m_drawn;  // InPlace: the last drawing, not drawn again unchanged
    std::optional<View> m_last;        // Lines: the dialog as last shown, not yet written
    std::string m_caption;             // Lines: the caption line written last
    std::string m_summary;             // Lines: the summary written last
    bool m_inputEnded = false;
    bool m_raw = false;  // the terminal is in raw mode; m_saved is how it was before
    termios m_saved{};
};
