#include "progress/TextProgressCtrl.h"

#include <climits>
#include <cmath>

#include "text/Format.h"

namespace {

// Truncation toward zero, kept inside int: a position far past the range must not make the
// conversion undefined. INT_MIN itself stays free for "no width computed".
int truncateToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN + 1)) {
        return INT_MIN + 1;
    }
    return static_cast<int>(value);
}

}  // namespace

TextProgressCtrl::TextProgressCtrl(WindowSystem& windows)
    : m_barColor(windows.systemColor(WS_COLOR_HIGHLIGHT)),
      m_backColor(windows.systemColor(WS_COLOR_WINDOW)) {}

void TextProgressCtrl::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
}

double TextProgressCtrl::Fraction() const {
    // In double, so neither the difference nor the quotient can overflow. An empty range has no
    // fraction; it counts as 0 so the width is defined (nothing is painted in that state).
    double span = static_cast<double>(m_upper) - static_cast<double>(m_lower);
    if (span == 0.0) {
        return 0.0;
    }
    return (static_cast<double>(m_position) - static_cast<double>(m_lower)) / span;
}

int TextProgressCtrl::FilledWidth(int width) const {
    return truncateToInt(Fraction() * static_cast<double>(width));
}

String TextProgressCtrl::PercentText() const {
    // The percent is the filled width of a bar a hundred pixels wide.
    return Format("%d%%", FilledWidth(100));
}

int TextProgressCtrl::SetPos(int pos) {
    if (!IsWindow()) {
        return -1;
    }
    int previous = m_position;
    m_position = pos;
    int width = FilledWidth(GetClientRect().width());
    // Only a change of the filled width is worth a paint: callers set positions very often. A
    // bar that nobody can see (the collapsed or hidden dialog) keeps its state and is painted
    // with it when it comes into view.
    if (width != m_filledWidth) {
        m_filledWidth = width;
        if (HasVisiblePixels()) {
            RedrawNow();
        }
    }
    return previous;
}

int TextProgressCtrl::StepIt() {
    return SetPos(m_position + m_step);
}

int TextProgressCtrl::SetStep(int step) {
    int previous = m_step;
    m_step = step;
    return previous;
}

void TextProgressCtrl::ShowText(bool show) {
    if (IsWindow() && show != m_textVisible) {
        Invalidate(true);
    }
    m_textVisible = show;
}

bool TextProgressCtrl::OnEraseBkgnd() {
    // The paint covers every pixel; erasing first would only flicker.
    return true;
}

void TextProgressCtrl::OnPaint() {
    // An empty range draws nothing. The window system ends the paint request after this hook in
    // any case, so the pending request does not keep a message pump busy.
    if (m_lower >= m_upper) {
        return;
    }
    Rect rc = GetClientRect();
    std::unique_ptr<Canvas> canvas = BeginPaint();
    if (!canvas) {
        return;
    }
    int width = FilledWidth(rc.width());
    Rect filled{rc.left, rc.top, rc.left + width, rc.bottom};
    Rect unfilled{filled.right, rc.top, rc.right, rc.bottom};
    canvas->fillSolidRect(filled, m_barColor);
    canvas->fillSolidRect(unfilled, m_backColor);
    if (!m_textVisible) {
        return;
    }
    // The same text twice, each clipped to one part, so the digits change colour exactly where
    // the bar's edge crosses them.
    String text = PercentText();
    canvas->setTransparentText();
    canvas->setClipRect(filled);
    canvas->setTextColor(m_backColor);
    canvas->drawCenteredText(text, rc);
    canvas->setClipRect(unfilled);
    canvas->setTextColor(m_barColor);
    canvas->drawCenteredText(text, rc);
    canvas->clearClip();
}

void TextProgressCtrl::OnSize() {
    m_filledWidth = FILLED_WIDTH_NONE;
}
