#include "platform/win32/GdiCanvas.h"

namespace {

RECT toRect(const Rect& area) {
    return RECT{area.left, area.top, area.right, area.bottom};
}

}  // namespace

void GdiCanvas::fillSolidRect(const Rect& area, Color color) {
    // An inverted rectangle (a position below the range) fills nothing.
    if (area.width() <= 0 || area.height() <= 0) {
        return;
    }
    RECT rect = toRect(area);
    SetBkColor(m_dc, color);
    ExtTextOutA(m_dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void GdiCanvas::setTransparentText() {
    SetBkMode(m_dc, TRANSPARENT);
}

void GdiCanvas::setClipRect(const Rect& area) {
    // Regions are in device coordinates, while the off-screen context draws in the window's
    // logical ones (its origin is the clip box's corner).
    POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
    LPtoDP(m_dc, corners, 2);
    HRGN region = CreateRectRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
    if (region == nullptr) {
        return;
    }
    SelectClipRgn(m_dc, region);
    DeleteObject(region);
}

void GdiCanvas::clearClip() {
    SelectClipRgn(m_dc, nullptr);
}

void GdiCanvas::setTextColor(Color color) {
    SetTextColor(m_dc, color);
}

void GdiCanvas::drawCenteredText(const String& text, const Rect& area) {
    RECT rect = toRect(area);
    DrawTextA(m_dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
