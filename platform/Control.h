#pragma once

#include <string>

#include "platform/WindowSystem.h"

// A child control of a dialog, attached to its template control by DDX_Control (a CWnd).
// Subclassed controls override the On... hooks, which the window system calls for WM_PAINT,
// WM_ERASEBKGND and WM_SIZE.
class Control {
public:
    virtual ~Control();

    bool IsWindow() const;
    Rect GetClientRect() const;
    void Show();
    void Hide();
    void Enable(bool enable);
    // RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW): painted before it returns.
    void RedrawNow();
    // InvalidateRect(NULL, erase): painted at the next message processing.
    void Invalidate(bool erase);

    virtual bool OnEraseBkgnd() { return false; }
    virtual void OnPaint(Canvas& canvas) { (void)canvas; }
    virtual void OnSize() {}

    // Called by the data exchange; null detaches.
    void Attach(ControlWindow* window) { m_window = window; }

protected:
    ControlWindow* m_window = nullptr;
};

class EditControl : public Control {};
class ButtonControl : public Control {};
