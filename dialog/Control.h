#pragma once

#include <memory>
#include "text/StringType.h"

#include "platform/WindowSystem.h"

// A child control of a dialog, attached to its template control by DDX_Control (a CWnd).
// Attaching subclasses the window: the window system calls OnEraseBkgnd for WM_ERASEBKGND and
// OnSize after the default processing of WM_SIZE, and, for a control that paints itself, OnPaint
// for WM_PAINT. Every operation is harmless without a window: it does nothing and reports so.
class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    bool IsWindow() const;
    int GetDlgCtrlID() const;    // 0 without a window
    Rect GetClientRect() const;  // empty without a window
    void Show();
    void Hide();
    void Enable(bool enable);
    void SetText(const String& text);  // SetWindowText, when the text differs
    // Whether a paint could show anything now (see ControlWindow::hasVisiblePixels).
    bool HasVisiblePixels() const;
    // RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW): painted before it returns.
    void RedrawNow();
    // InvalidateRect(NULL, erase): painted at the next message processing.
    void Invalidate(bool erase);

    // True for a control whose OnPaint draws its whole client area; others keep their window
    // class's own painting.
    virtual bool PaintsItself() const { return false; }
    // True when the background needs no erasing (WM_ERASEBKGND answered TRUE).
    virtual bool OnEraseBkgnd() { return false; }
    virtual void OnPaint() {}
    virtual void OnSize() {}

    // Called by the data exchange (and by the window system when the window goes away: null).
    void Attach(ControlWindow* window) { m_window = window; }
    ControlWindow* window() const { return m_window; }

protected:
    // The paint device context and an off-screen canvas; null without a window.
    std::unique_ptr<Canvas> BeginPaint();

    ControlWindow* m_window = nullptr;
};

// The dialog's edit and buttons need nothing that every control lacks: the names say what they are.
using EditControl = Control;
using ButtonControl = Control;
