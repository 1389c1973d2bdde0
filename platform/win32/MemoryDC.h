#pragma once

#include <windows.h>

// An off-screen device context for one paint: drawing goes into a bitmap the size of the
// target's clip box, and the destructor copies it to the target with one BitBlt, so the screen
// never shows a half-drawn picture. A printing target is drawn on directly.
class MemoryDC {
public:
    explicit MemoryDC(HDC target);
    ~MemoryDC();
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    HDC handle() const { return m_dc; }
    // The clip box in the target's logical coordinates (where the bitmap's origin lies).
    const RECT& area() const { return m_area; }

private:
    HDC m_dc = nullptr;
    HBITMAP m_offscreenBitmap = nullptr;
    HGDIOBJ m_prevBitmap = nullptr;
    HDC m_targetDC;
    RECT m_area{};
    bool m_offscreen;
};
