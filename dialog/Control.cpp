#include "dialog/Control.h"

Control::~Control() = default;

bool Control::IsWindow() const {
    return m_window != nullptr && m_window->exists();
}

int Control::GetDlgCtrlID() const {
    return IsWindow() ? m_window->id() : 0;
}

Rect Control::GetClientRect() const {
    return IsWindow() ? m_window->clientRect() : Rect{};
}

void Control::Show() {
    if (IsWindow()) {
        m_window->show(true);
    }
}

void Control::Hide() {
    if (IsWindow()) {
        m_window->show(false);
    }
}

void Control::Enable(bool enable) {
    if (IsWindow()) {
        m_window->enable(enable);
    }
}

void Control::SetText(const String& text) {
    if (IsWindow()) {
        m_window->replaceText(text);
    }
}

bool Control::HasVisiblePixels() const {
    return IsWindow() && m_window->hasVisiblePixels();
}

void Control::RedrawNow() {
    if (IsWindow()) {
        m_window->redrawNow();
    }
}

void Control::Invalidate(bool erase) {
    if (IsWindow()) {
        m_window->invalidate(erase);
    }
}

std::unique_ptr<Canvas> Control::BeginPaint() {
    return IsWindow() ? m_window->beginPaint() : nullptr;
}
