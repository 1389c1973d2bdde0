#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowSystem.h"

// The simulated machine's windows as data: what the window system keeps of the dialog, its
// controls and message boxes, for the tests to read and a front end to show.

// The system colours of the simulated screen (GetSysColor).
inline constexpr Color SIM_COLOR_WINDOW = 0x00FFFFFF;
inline constexpr Color SIM_COLOR_HIGHLIGHT = 0x00D77800;

// What one paint of a control drew, in client pixels, with the rectangles GDI would use.
struct SimPicture {
    struct Fill {
        Rect area;
        Color color;
    };
    struct Text {
        std::string text;
        Rect box;   // where DT_CENTER | DT_VCENTER | DT_SINGLELINE puts the text in its area
        Rect clip;  // the clip region in force; the whole client area without one
        Color color;
    };
    std::vector<Fill> fills;
    std::vector<Text> texts;
    bool transparent = false;

    // The colour of a pixel after the fills, or `background` where none covers it.
    Color pixel(int x, int y, Color background) const {
        for (auto fill = fills.rbegin(); fill != fills.rend(); ++fill) {
            if (holds(fill->area, x, y)) {
                return fill->color;
            }
        }
        return background;
    }
    // The text drawn over pixel column x as a viewer sees it: the characters of every draw whose
    // box and clip both hold that column, with their colour. Empty when no text covers it.
    std::vector<const Text*> textsAt(int x, int y) const {
        std::vector<const Text*> found;
        for (const Text& text : texts) {
            if (holds(text.box, x, y) && holds(text.clip, x, y)) {
                found.push_back(&text);
            }
        }
        return found;
    }
    static bool holds(const Rect& rect, int x, int y) {
        return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
    }
};

// The model of one control of the dialog, as a test reads it.
struct SimControlState {
    int id = 0;
    std::string text;
    Rect rect;  // in the dialog's client pixels
    bool visible = true;
    bool enabled = true;
    bool exists = true;
    bool subclassed = false;
    bool pendingPaint = false;  // invalidated, waiting for the next message processing
    bool pendingErase = false;
    int paintCount = 0;  // paint requests delivered to the control
    int eraseCount = 0;  // WM_ERASEBKGND left to the default processing (a visible erase)
    int textSets = 0;    // SetWindowText calls, whether or not the text changed
    SimPicture picture;  // what the last paint drew
    Rect clientRect() const { return {0, 0, rect.width(), rect.height()}; }
};

// A message posted to the dialog's queue by a test, and when the pump handled it (clock ms).
struct SimPostedInput {
    std::string action;
    std::uint64_t postedAt = 0;
    std::uint64_t handledAt = 0;
};

struct SimMessageBox {
    std::string caption;
    std::string text;
    unsigned type = 0;
};

// The model of the dialog's window.
struct SimDialogState {
    std::string caption;
    Rect windowRect;  // screen pixels
    Rect clientRect;
    bool exists = true;
    // Shown on the screen (mapped); everVisible stays once it has been.
    bool visible = false;
    bool everVisible = false;
    bool ended = false;
    int endCode = 0;
    bool iconic = false;
    IconHandle icon = 0;      // both the big and the small one
    std::vector<Rect> moves;  // every SetWindowPos, in order
    struct IconPaint {
        IconHandle icon;
        int x, y;
    };
    std::vector<IconPaint> iconPaints;
    std::vector<SimControlState> controls;  // in template (tab) order

    const SimControlState* control(int id) const {
        auto found = std::find_if(controls.begin(), controls.end(),
                                  [id](const SimControlState& state) { return state.id == id; });
        return found != controls.end() ? &*found : nullptr;
    }
};
