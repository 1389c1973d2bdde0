#pragma once

#include "platform/Control.h"
#include "platform/WindowSystem.h"

// A progress bar that paints itself: filled and unfilled parts in two colours and the position
// as a centred percentage in the opposite colours. A position change is painted before SetPos
// returns, and only when the filled width in pixels changes.
class TextProgressCtrl : public Control {
public:
    // Reads the four colours once from the system colours.
    explicit TextProgressCtrl(WindowSystem& windows);

    void SetRange(int lower, int upper);
    int SetPos(int pos);  // previous position, or -1 without a window
    int StepIt();
    int SetStep(int step);  // previous step
    void ShowText(bool show);

    bool OnEraseBkgnd() override;
    void OnPaint(Canvas& canvas) override;
    void OnSize() override;

    int GetPos() const { return m_position; }
    int GetLower() const { return m_lower; }
    int GetUpper() const { return m_upper; }
    bool IsTextVisible() const { return m_textVisible; }

private:
    int m_position = 0;
    int m_step = 1;
    int m_upper = 100;
    int m_lower = 0;
    bool m_textVisible = true;
    int m_filledWidth = -1;  // -1: none computed since construction or the last size change
    Color m_barColor;
    Color m_backColor;
    Color m_textOnBackColor;
    Color m_textOnBarColor;
};
