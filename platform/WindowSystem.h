#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
};

using Color = std::uint32_t;  // 0x00BBGGRR, as a Windows COLORREF

// What a self-painting control draws with. The Win32 implementation draws with GDI into an
// off-screen bitmap; the simulated one records or renders as text.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fillSolidRect(const Rect& area, Color color) = 0;
    virtual void setTransparentText() = 0;               // SetBkMode(TRANSPARENT)
    virtual void setClipRect(const Rect& area) = 0;      // a rectangular region as clip region
    virtual void clearClip() = 0;
    virtual void setTextColor(Color color) = 0;
    // DT_CENTER | DT_VCENTER | DT_SINGLELINE in the default font.
    virtual void drawCenteredText(const std::string& text, const Rect& area) = 0;
};

class ControlWindow;
class DialogWindow;
class Dialog;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Creates the dialog from its template, lets the dialog initialise (OnInitDialog) and runs
    // the modal loop until the dialog ends; returns the end code.
    virtual int runModal(Dialog& dialog, int templateId) = 0;
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    // PeekMessage / TranslateMessage / DispatchMessage until the queue is empty.
    virtual void pumpMessages() = 0;
    virtual std::string loadString(int id) = 0;
    virtual Color systemColor(int index) = 0;  // GetSysColor
    // The application's name: the executable's file name without extension.
    virtual std::string applicationName() = 0;
};
