#pragma once

#include <windows.h>

#include "platform/WindowSystem.h"

// The drawing operations of a self-painting control on a GDI device context.
class GdiCanvas : public Canvas {
public:
    explicit GdiCanvas(HDC dc) : m_dc(dc) {}

    void fillSolidRect(const Rect& area, Color color) override;
    void setTransparentText() override;
    void setClipRect(const Rect& area) override;
    void clearClip() override;
    void setTextColor(Color color) override;
    void drawCenteredText(const String& text, const Rect& area) override;

private:
    HDC m_dc;
};
