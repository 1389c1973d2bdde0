#pragma once

#include <cstdint>
#include <memory>
#include "text/StringType.h"

// The window part of the platform layer: just enough of a windowing framework for one modal
// dialog built from a template, its child controls, message boxes and the message pump.
// The Win32 implementation drives real windows; the simulated one keeps a model of the dialog
// (texts, visibility, position) that tests read, and may draw it on a terminal.

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

using Color = std::uint32_t;  // 0x00BBGGRR, as a Windows COLORREF

// An icon loaded from the executable's resources; 0 when there is none. The window system owns
// what it stands for (shared resource icons are never destroyed).
using IconHandle = std::uintptr_t;

// System colour and metric indexes, with the values GetSysColor and GetSystemMetrics take.
enum : int {
    WS_COLOR_WINDOW = 5,
    WS_COLOR_HIGHLIGHT = 13,
    WS_METRIC_CXICON = 11,
    WS_METRIC_CYICON = 12,
};

// What a self-painting control draws with, between the start and the end of one paint. The
// Win32 implementation draws with GDI into an off-screen bitmap of the clip box and copies it to
// the screen with one BitBlt when the canvas is destroyed; the simulated one records the picture.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fillSolidRect(const Rect& area, Color color) = 0;
    virtual void setTransparentText() = 0;           // SetBkMode(TRANSPARENT)
    virtual void setClipRect(const Rect& area) = 0;  // a rectangular region as clip region
    virtual void clearClip() = 0;
    virtual void setTextColor(Color color) = 0;
    // DT_CENTER | DT_VCENTER | DT_SINGLELINE in the default font.
    virtual void drawCenteredText(const String& text, const Rect& area) = 0;
};

class Control;

// A child window of the dialog as the window system sees it. Owned by the dialog's window;
// valid while the dialog's window exists.
class ControlWindow {
public:
    virtual ~ControlWindow() = default;
    virtual int id() const = 0;
    virtual bool exists() const = 0;  // IsWindow
    virtual Rect clientRect() const = 0;
    virtual void show(bool visible) = 0;
    virtual void enable(bool enabled) = 0;
    virtual String text() const = 0;               // GetWindowText
    virtual void setText(const String& text) = 0;  // SetWindowText
    // SetWindowText only when the window shows another text: an edit given its own text again
    // would lose its caret and scroll position and notify a change, and a static would repaint.
    void replaceText(const String& newText) {
        if (text() != newText) {
            setText(newText);
        }
    }
    // True when a paint could show something: the window and its parent are shown and some
    // pixel of the window lies inside the parent's client area.
    virtual bool hasVisiblePixels() const = 0;
    // RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW): painted before it returns.
    virtual void redrawNow() = 0;
    // InvalidateRect(NULL, erase): painted at the next message processing.
    virtual void invalidate(bool erase) = 0;
    // Subclasses the window: WM_ERASEBKGND, WM_PAINT and WM_SIZE reach the control's hooks.
    // The window system ends every paint request itself after the hook, whether or not the hook
    // painted, so a control that declines to paint does not leave a request that a message pump
    // would meet again and again.
    virtual void subclass(Control& control) = 0;
    // Opens the paint device context and an off-screen canvas on it (BeginPaint + MemoryDC);
    // destroying the canvas copies the picture to the window and ends the paint.
    virtual std::unique_ptr<Canvas> beginPaint() = 0;
};

// The dialog's own window while it exists.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    virtual ControlWindow* item(int id) = 0;  // GetDlgItem; null when the template has no such id
    virtual void endDialog(int result) = 0;
    virtual bool hasEnded() const = 0;
    // SetWindowPos with no insert-after window and SWP_NOZORDER.
    virtual void setWindowPos(int x, int y, int width, int height) = 0;
    virtual Rect clientRect() const = 0;
    virtual bool isIconic() const = 0;
    // WM_SETICON with ICON_BIG, then with ICON_SMALL.
    virtual void setIcon(IconHandle icon) = 0;
    // Paints the minimised dialog: paint device context, WM_ICONERASEBKGND, DrawIcon at x, y.
    virtual void paintIcon(IconHandle icon, int x, int y) = 0;
};

class Dialog;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Creates the dialog from its template, lets the dialog initialise (OnInitDialog) and runs
    // the modal loop until the dialog ends; returns the end code, -1 when the dialog could not
    // be created. The window appears after the initialisation when the dialog's ShowsWindow
    // says so, else only if the modal loop ever waits (the queue first empty), as every modal
    // dialog does; a dialog that ends inside its initialisation is then never shown.
    virtual int runModal(Dialog& dialog, int templateId) = 0;
    // A modal message box; returns the button pressed (IDOK for MB_OK).
    virtual int messageBox(const String& text, const String& caption, unsigned type) = 0;
    // PeekMessage / TranslateMessage / DispatchMessage until the queue is empty.
    virtual void pumpMessages() = 0;
    // The same, for a chance in the middle of a long step: only when a message that came in
    // since the last drain would otherwise wait longer than PumpSchedule allows.
    virtual void pumpMessagesIfDue() = 0;
    virtual String loadString(int id) = 0;  // "" when the string table has no such entry
    virtual IconHandle loadIcon(int id) = 0;
    virtual Color systemColor(int index) = 0;  // GetSysColor
    virtual int systemMetric(int index) = 0;   // GetSystemMetrics
    // The application's name: the executable's file name without extension.
    virtual String applicationName() = 0;
};
