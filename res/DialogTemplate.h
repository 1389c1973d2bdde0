// The dialog templates as the C++ reads them, from the lists the resource script expands too.
#pragma once

#include <span>

#include "res/resource.h"

// One control of a template, in dialog units. The window class and the rest of the style mean
// nothing to a window system that keeps a model of the dialog, so they are left out.
struct DialogTemplateControl {
    int id;
    const char* text;  // "" for an icon static, which names its icon where others have text
    bool border;       // WS_BORDER, drawn outside the control's client area
    bool visible;
    int x, y, width, height;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;                                // of the client area, in dialog units
    std::span<const DialogTemplateControl> controls;  // in tab order
};

// clang-format off
#define ZIL_ICON_TEXT(iconId) ""
#define ZIL_TEMPLATE_BORDER_BORDER true
#define ZIL_TEMPLATE_BORDER_NO_BORDER false
#define ZIL_TEMPLATE_VISIBILITY_SHOWN true
#define ZIL_TEMPLATE_VISIBILITY_HIDDEN false
#define ZIL_TEMPLATE_CONTROL(id, windowClass, text, style, border, visibility, x, y, width, height) \
    {id, text, ZIL_TEMPLATE_BORDER_##border, ZIL_TEMPLATE_VISIBILITY_##visibility, x, y, width, height},
inline constexpr DialogTemplateControl RES_SETUP_DIALOG_CONTROLS[] = {
    ZIL_SETUP_DIALOG_CONTROLS(ZIL_TEMPLATE_CONTROL)};
#undef ZIL_TEMPLATE_CONTROL
#undef ZIL_TEMPLATE_VISIBILITY_HIDDEN
#undef ZIL_TEMPLATE_VISIBILITY_SHOWN
#undef ZIL_TEMPLATE_BORDER_NO_BORDER
#undef ZIL_TEMPLATE_BORDER_BORDER
#undef ZIL_ICON_TEXT
// clang-format on

inline constexpr DialogTemplate RES_DIALOG_TEMPLATES[] = {
    {IDD_SETUP_DIALOG, ZIL_SETUP_DIALOG_CAPTION, ZIL_SETUP_DIALOG_WIDTH, ZIL_SETUP_DIALOG_HEIGHT,
     RES_SETUP_DIALOG_CONTROLS},
};

// The template of that id, as DialogBoxParam finds it in the executable; null when there is none.
constexpr const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& dialogTemplate : RES_DIALOG_TEMPLATES) {
        if (dialogTemplate.id == id) {
            return &dialogTemplate;
        }
    }
    return nullptr;
}
