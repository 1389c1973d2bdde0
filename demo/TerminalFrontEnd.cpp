#include "demo/TerminalFrontEnd.h"

#include <poll.h>
#include <unistd.h>

#include "res/resource.h"

namespace {

constexpr int BAR_CELLS = 40;
constexpr int SUMMARY_BAR_CELLS = 20;
constexpr std::size_t STATUS_WIDTH = 70;
constexpr const char* INVERSE_ON = "\x1b[7m";
constexpr const char* INVERSE_OFF = "\x1b[27m";

// The last non-empty line of a control's text: the status edit keeps a growing log.
std::string lastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos) {
        return "";
    }
    std::size_t start = text.find_last_of("\r\n", end) + 1;  // 0 when there is no line end
    return text.substr(start, end + 1 - start);
}

// A bar in `cells` whole cells; the filled ones in inverse video, or (inverse false, for text
// that keeps no control code) as '#' where the percent text leaves them free.
std::string bar(const SimControlState& control, int cells, bool inverse) {
    int width = control.clientRect().width();
    int middle = control.clientRect().height() / 2;
    // The percent text goes into whole cells, centred like the drawn text; each cell takes the
    // colour the bar has under its middle.
    std::string text = control.picture.texts.empty() ? "" : control.picture.texts.front().text;
    int first = (cells - static_cast<int>(text.size())) / 2;
    std::string out = "[";
    bool inverted = false;
    for (int cell = 0; cell < cells; ++cell) {
        int x = width > 0 ? (2 * cell + 1) * width / (2 * cells) : 0;
        bool filled = control.picture.pixel(x, middle, SIM_COLOR_WINDOW) != SIM_COLOR_WINDOW;
        int index = cell - first;
        char glyph = index >= 0 && index < static_cast<int>(text.size()) ? text[index] : ' ';
        if (!inverse) {
            out += filled && glyph == ' ' ? '#' : glyph;
            continue;
        }
        if (filled != inverted) {
            out += filled ? INVERSE_ON : INVERSE_OFF;
            inverted = filled;
        }
        out += glyph;
    }
    return out + (inverted ? std::string(INVERSE_OFF) + "]" : "]");
}

// What a viewer can tell of the window as a whole: nothing of it is to be seen in any of these.
std::string dialogState(const SimDialogState& dialog) {
    if (!dialog.exists) {
        return " (closed)";
    }
    if (!dialog.visible) {
        return " (not shown)";
    }
    if (dialog.iconic) {
        return " (minimised)";
    }
    if (dialog.clientRect.width() <= 0 || dialog.clientRect.height() <= 0) {
        return " (collapsed to " + std::to_string(dialog.windowRect.width()) + "x" +
               std::to_string(dialog.windowRect.height()) + ")";
    }
    return "";
}

std::string button(const SimControlState* control) {
    if (control == nullptr || !control->visible) {
        return "";
    }
    std::string label = control->text;
    std::erase(label, '&');
    return control->enabled ? "<" + label + ">" : "(" + label + ")";
}

std::string actionOfKey(char key) {
    if (key == 'i' || key == 'I') {
        return SimClick(IDC_INSTALL);
    }
    if (key == 'u' || key == 'U') {
        return SimClick(IDC_UNINSTALL);
    }
    return key == 27 || key == 'q' ? "close" : "";
}

TerminalFrontEnd::View viewOf(const SimDialogState& dialog, bool inverse) {
    auto text = [&](int id) {
        const SimControlState* control = dialog.control(id);
        return control != nullptr && control->visible ? lastLine(control->text) : std::string();
    };
    auto barOf = [&](int id, int cells, bool inverted) {
        const SimControlState* control = dialog.control(id);
        return control != nullptr && control->visible ? bar(*control, cells, inverted)
                                                      : std::string();
    };
    TerminalFrontEnd::View view;
    std::string caption = "== " + dialog.caption + dialogState(dialog) + " ==";
    view.frame.push_back(caption);
    view.frame.push_back("   " + text(IDC_TITLE));
    view.summary = "  ";
    view.labels = caption;
    for (auto [barId, labelId] : {std::pair{IDC_TOTAL_PROGRESS, IDC_TOTAL_LABEL},
                                  std::pair{IDC_CURRENT_PROGRESS, IDC_CURRENT_LABEL}}) {
        std::string bars = barOf(barId, BAR_CELLS, inverse);
        view.frame.push_back("   " + text(labelId));
        view.frame.push_back(bars.empty() ? "" : "   " + bars);
        view.summary += " " + text(labelId) + " " + barOf(barId, SUMMARY_BAR_CELLS, false);
        view.labels += "\n" + text(labelId);
    }
    view.frame.push_back("   " + text(IDC_STATUS_EDIT).substr(0, STATUS_WIDTH));
    view.frame.push_back("   " + button(dialog.control(IDC_INSTALL)) + " " +
                         button(dialog.control(IDC_UNINSTALL)));
    return view;
}

}  // namespace

// The terminal is in raw mode while a person may press keys, and restored on every way out.
void TerminalFrontEnd::beginModal() {
    m_raw = isatty(m_input) && tcgetattr(m_input, &m_saved) == 0;
    if (m_raw) {
        termios raw = m_saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(m_input, TCSANOW, &raw);
    }
}

void TerminalFrontEnd::endModal() {
    // The closed dialog stays on the screen; whatever comes next starts below it.
    m_lines = 0;
    m_drawn.clear();
    if (m_last) {
        std::string out;
        for (const std::string& line : m_last->frame) {
            out += line + "\n";
        }
        emit(out);
        m_last.reset();
    }
    m_caption.clear();
    m_summary.clear();
    restoreTerminal();
}

void TerminalFrontEnd::restoreTerminal() {
    if (m_raw) {
        tcsetattr(m_input, TCSANOW, &m_saved);
        m_raw = false;
    }
}

void TerminalFrontEnd::showDialog(const SimDialogState& dialog) {
    View view = viewOf(dialog, m_drawing == Drawing::InPlace);
    if (m_drawing == Drawing::InPlace) {
        // Most paints move a bar by less than a cell.
        if (view.frame != m_drawn) {
            write(view.frame);
        }
        return;
    }
    if (m_last && m_last->labels != view.labels) {
        writeSummary(*m_last);
    }
    m_last = std::move(view);
}

void TerminalFrontEnd::write(const std::vector<std::string>& lines) {
    std::string out;
    if (m_lines > 0) {
        out += "\x1b[" + std::to_string(m_lines) + "A";
    }
    for (const std::string& line : lines) {
        out += "\r\x1b[2K" + line + "\n";
    }
    m_lines = static_cast<int>(lines.size());
    m_drawn = lines;
    emit(out);
}

void TerminalFrontEnd::writeSummary(const View& view) {
    std::string out;
    if (view.frame.front() != m_caption) {
        m_caption = view.frame.front();
        out += m_caption + "\n";
    }
    if (view.summary != m_summary) {
        m_summary = view.summary;
        out += m_summary + "\n";
    }
    emit(out);
}

void TerminalFrontEnd::emit(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), m_output);
    std::fflush(m_output);
}

void TerminalFrontEnd::showMessageBox(const std::string& caption, const std::string& text) {
    // Lines: the dialog as it stood when the box came goes first.
    if (m_last) {
        writeSummary(*m_last);
    }
    emit("[" + caption + "] " + text + "  <OK>\n");
    // The box is printed below the dialog, which is drawn afresh after it.
    m_lines = 0;
    m_drawn.clear();
}

std::string TerminalFrontEnd::nextAction(bool wait) {
    if (m_inputEnded) {
        return wait ? "close" : "";
    }
    pollfd request{m_input, POLLIN, 0};
    if (::poll(&request, 1, wait ? -1 : 0) <= 0) {
        return "";
    }
    char key = 0;
    if (::read(m_input, &key, 1) != 1) {
        // Nobody is left to press anything: that closes the dialog once.
        m_inputEnded = true;
        return "close";
    }
    return actionOfKey(key);
}
