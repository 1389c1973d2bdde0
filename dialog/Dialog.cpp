#include "dialog/Dialog.h"

DataExchange::DataExchange(Dialog& dialog, bool saveAndValidate)
    : m_saveAndValidate(saveAndValidate), m_dialog(dialog) {}

void DataExchange::Control(int id, ::Control& control) {
    ControlWindow* window = m_dialog.GetDlgItem(id);
    // Attaching again on every exchange would subclass the window twice.
    if (window == nullptr || control.window() == window) {
        return;
    }
    control.Attach(window);
    window->subclass(control);
}

void DataExchange::Text(int id, const String& text) {
    if (m_saveAndValidate) {
        return;
    }
    if (ControlWindow* window = m_dialog.GetDlgItem(id)) {
        window->replaceText(text);
    }
}

Dialog::Dialog(WindowSystem& windows, int templateId)
    : m_windows(windows), m_templateId(templateId) {}

Dialog::~Dialog() = default;

int Dialog::DoModal() {
    return m_windows.runModal(*this, m_templateId);
}

void Dialog::EndDialog(int result) {
    if (m_window != nullptr) {
        m_window->endDialog(result);
    }
}

bool Dialog::UpdateData(bool saveAndValidate) {
    if (m_window == nullptr) {
        return false;
    }
    DataExchange exchange(*this, saveAndValidate);
    DoDataExchange(exchange);
    return true;
}

void Dialog::SetWindowPos(int x, int y, int width, int height) {
    if (m_window != nullptr) {
        m_window->setWindowPos(x, y, width, height);
    }
}

ControlWindow* Dialog::GetDlgItem(int id) {
    return m_window != nullptr ? m_window->item(id) : nullptr;
}

bool Dialog::IsIconic() const {
    return m_window != nullptr && m_window->isIconic();
}

void Dialog::SetIcon(IconHandle icon) {
    if (m_window != nullptr) {
        m_window->setIcon(icon);
    }
}

int Dialog::AfxMessageBox(const String& text, unsigned type) {
    return m_windows.messageBox(text, m_windows.applicationName(), type);
}

String Dialog::LoadStringResource(int id) {
    return m_windows.loadString(id);
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    EndDialog(DLG_IDOK);
}

void Dialog::OnCancel() {
    EndDialog(DLG_IDCANCEL);
}

void Dialog::DoDataExchange(DataExchange& exchange) {
    (void)exchange;
}

const MessageMap* Dialog::GetMessageMap() const {
    static const MessageMap none{nullptr, nullptr, 0};
    return &none;
}

bool Dialog::OnCommand(int controlId) {
    WindowMessage message{DLG_WM_COMMAND, static_cast<std::uintptr_t>(controlId), 0};
    std::intptr_t result = 0;
    return HandleMessage(message, result);
}

bool Dialog::HandleMessage(const WindowMessage& message, std::intptr_t& result) {
    const bool command = message.message == DLG_WM_COMMAND;
    const int id = static_cast<int>(message.wParam & 0xFFFF);
    const int notification = static_cast<int>((message.wParam >> 16) & 0xFFFF);
    if (command && notification != DLG_BN_CLICKED) {
        return false;
    }
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageMapEntry& entry = map->entries[i];
            if (entry.message != message.message || (command && entry.controlId != id)) {
                continue;
            }
            m_defaultRequested = false;
            bool handled = entry.handler(*this, message, result);
            return handled && !m_defaultRequested;
        }
    }
    // The framework's own entries behind every class's table.
    if (command && id == DLG_IDOK) {
        OnOK();
        return true;
    }
    if (command && id == DLG_IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}
