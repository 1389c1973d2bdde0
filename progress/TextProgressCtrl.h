#pragma once

#include <climits>
#include "text/StringType.h"

#include "dialog/Control.h"
#include "platform/WindowSystem.h"

// A progress bar that paints itself: filled and unfilled parts in two colours and the position
// as a centred percentage in the opposite colours. A position change is painted before SetPos
// returns, and only when the filled width in pixels changes and some pixel of the bar can be
// seen. Positions are not clamped: past the
// upper bound the bar is full and reads over 100%, below the lower bound it is empty and reads
// a negative percentage. With an empty or inverted range nothing is drawn.
class TextProgressCtrl : public Control {
public:
    // Reads the two colours once from the system colours.
    explicit TextProgressCtrl(WindowSystem& windows);

    void SetRange(int lower, int upper);  // no repaint: the range shows at the next paint
    int SetPos(int pos);                  // previous position, or -1 without a window
    int StepIt();
    int SetStep(int step);  // previous step
    void ShowText(bool show);

    bool PaintsItself() const override { return true; }
    bool OnEraseBkgnd() override;
    void OnPaint() override;
    void OnSize() override;

    int GetPos() const { return m_position; }
    int GetStep() const { return m_step; }
    int GetLower() const { return m_lower; }
    int GetUpper() const { return m_upper; }
    bool IsTextVisible() const { return m_textVisible; }

    // The filled width and the text that a client area `width` pixels wide shows for the
    // current range and position.
    int FilledWidth(int width) const;
    String PercentText() const;

private:
    double Fraction() const;

    int m_position = 0;
    int m_step = 1;
    int m_upper = 100;
    int m_lower = 0;
    bool m_textVisible = true;
    // None computed since construction or the last size change. Not -1: a position just below
    // the range computes a width of -1, and its first SetPos must still paint.
    static constexpr int FILLED_WIDTH_NONE = INT_MIN;
    int m_filledWidth = FILLED_WIDTH_NONE;
    Color m_barColor;   // and the text's over the unfilled part
    Color m_backColor;  // and the text's over the filled part
};
