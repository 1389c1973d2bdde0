#include "demo/TerminalFrontEnd.h"

#include <poll.h>
#include <unistd.h>

#include "res/resource.h"

namespace {

constexpr int BAR_CELLS = 40;
constexpr std::size_t STATUS_WIDTH = 70;

// The last non-empty line of a control's text: the status edit keeps a growing log.
std::string lastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos) {
        return "";
    }
    std::size_t start = text.find_last_of("\r\n", end) + 1;  // 0 when there is no line end
    return text.substr(start, end + 1 - start);
}

std::string bar(const SimControlState& control) {
    int width = control.clientRect().width();
    int middle = control.clientRect().height() / 2;
    // The percent text goes into whole cells, centred like the drawn text; each cell takes the
    // colour the bar has under its middle.
    std::string text = control.picture.texts.empty() ? "" : control.picture.texts.front().text;
    int first = (BAR_CELLS - static_cast<int>(text.size())) / 2;
    std::string out = "[";
    bool inverse = false;
    for (int cell = 0; cell < BAR_CELLS; ++cell) {
        int x = width > 0 ? (2 * cell + 1) * width / (2 * BAR_CELLS) : 0;
        bool filled = control.picture.pixel(x, middle, SIM_COLOR_WINDOW) != SIM_COLOR_WINDOW;
        int index = cell - first;
        char glyph = index >= 0 && index < static_cast<int>(text.size()) ? text[index] : ' ';
        if (filled != inverse) {
            out += filled ? "\x1b[7m" : "\x1b[27m";
            inverse = filled;
        }
        out += glyph;
    }
    return out + (inverse ? "\x1b[27m]" : "]");
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
    restoreTerminal();
}

void TerminalFrontEnd::restoreTerminal() {
    if (m_raw) {
        tcsetattr(m_input, TCSANOW, &m_saved);
        m_raw = false;
    }
}

void TerminalFrontEnd::showDialog(const SimDialogState& dialog) {
    auto text = [&](int id) {
        const SimControlState* control = dialog.control(id);
        return control != nullptr && control->visible ? lastLine(control->text) : std::string();
    };
    std::vector<std::string> lines;
    lines.push_back("== " + dialog.caption + (dialog.exists ? "" : " (closed)") + " ==");
    lines.push_back("   " + text(IDC_TITLE));
    for (auto [barId, labelId] : {std::pair{IDC_TOTAL_PROGRESS, IDC_TOTAL_LABEL},
                                  std::pair{IDC_CURRENT_PROGRESS, IDC_CURRENT_LABEL}}) {
        const SimControlState* control = dialog.control(barId);
        lines.push_back("   " + text(labelId));
        lines.push_back(control != nullptr && control->visible ? "   " + bar(*control) : "");
    }
    lines.push_back("   " + text(IDC_STATUS_EDIT).substr(0, STATUS_WIDTH));
    lines.push_back("   " + button(dialog.control(IDC_INSTALL)) + " " +
                    button(dialog.control(IDC_UNINSTALL)));
    write(lines);
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
    std::fwrite(out.data(), 1, out.size(), m_output);
    std::fflush(m_output);
}

void TerminalFrontEnd::showMessageBox(const std::string& caption, const std::string& text) {
    std::fprintf(m_output, "[%s] %s  <OK>\n", caption.c_str(), text.c_str());
    std::fflush(m_output);
    // The box is printed below the dialog, which is drawn afresh after it.
    m_lines = 0;
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
