#include "platform/win32/MemoryDC.h"

MemoryDC::MemoryDC(HDC target)
    : m_targetDC(target), m_offscreen(GetDeviceCaps(target, TECHNOLOGY) != DT_RASPRINTER) {
    if (!m_offscreen) {
        m_dc = target;
        return;
    }
    GetClipBox(target, &m_area);
    m_dc = CreateCompatibleDC(target);
    m_offscreenBitmap =
        CreateCompatibleBitmap(target, m_area.right - m_area.left, m_area.bottom - m_area.top);
    if (m_dc != nullptr && m_offscreenBitmap != nullptr) {
        m_prevBitmap = SelectObject(m_dc, m_offscreenBitmap);
    }
    // Drawing in the target's coordinates lands in the bitmap.
    SetWindowOrgEx(m_dc, m_area.left, m_area.top, nullptr);
}

MemoryDC::~MemoryDC() {
    if (!m_offscreen) {
        return;  // the target's context is borrowed, never deleted
    }
    BitBlt(m_targetDC, m_area.left, m_area.top, m_area.right - m_area.left,
           m_area.bottom - m_area.top, m_dc, m_area.left, m_area.top, SRCCOPY);
    if (m_prevBitmap != nullptr) {
        SelectObject(m_dc, m_prevBitmap);
    }
    if (m_offscreenBitmap != nullptr) {
        DeleteObject(m_offscreenBitmap);
    }
    if (m_dc != nullptr) {
        DeleteDC(m_dc);
    }
}
