#pragma once

#include <cstddef>
#include <cstdint>
#include "text/StringType.h"
#include <type_traits>

#include "dialog/Control.h"
#include "platform/WindowSystem.h"

// Message numbers and ids with the values Windows gives them, so the Win32 dialog procedure
// passes them through unchanged. Prefixed because <windows.h> defines the plain names as macros.
enum : unsigned {
    DLG_WM_PAINT = 0x000F,
    DLG_WM_QUERYDRAGICON = 0x0037,
    DLG_WM_COMMAND = 0x0111,
    DLG_WM_SYSCOMMAND = 0x0112,
};

enum : int {
    DLG_IDOK = 1,
    DLG_IDCANCEL = 2,
    DLG_MB_OK = 0,
    DLG_BN_CLICKED = 0,
};

struct WindowMessage {
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class Dialog;

// One entry of a dialog class's message map: a message, or for DLG_WM_COMMAND a button's click,
// bound to a handler. The handler returns false when the message wants default processing.
using MessageHandler = bool (*)(Dialog& dialog, const WindowMessage& message,
                                std::intptr_t& result);

struct MessageMapEntry {
    unsigned message;
    int controlId;  // the button of a DLG_WM_COMMAND entry; 0 for other messages
    MessageHandler handler;
};

// A class's table, searched in order, then its base class's table.
struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;
    std::size_t count;
};

// The framework's data exchange: attaches controls and copies member strings into them.
// Only the direction from members to controls exists in this program.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool saveAndValidate);
    void Control(int id, ::Control& control);  // DDX_Control
    // DDX_Text, members to controls; a control that shows the text already is left alone.
    void Text(int id, const String& text);
    bool m_saveAndValidate;

private:
    Dialog& m_dialog;
};

// A modal dialog from a dialog template (the framework's CDialog).
class Dialog {
public:
    Dialog(WindowSystem& windows, int templateId);
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog();

    int DoModal();
    void EndDialog(int result);
    bool UpdateData(bool saveAndValidate);
    // SetWindowPos with no insert-after window and SWP_NOZORDER.
    void SetWindowPos(int x, int y, int width, int height);
    ControlWindow* GetDlgItem(int id);
    bool IsIconic() const;
    void SetIcon(IconHandle icon);  // as the big, then as the small icon
    // The framework's AfxMessageBox: the application's name as caption.
    int AfxMessageBox(const String& text, unsigned type = DLG_MB_OK);
    String LoadStringResource(int id);

    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange& exchange);
    virtual const MessageMap* GetMessageMap() const;
    // False for a dialog that may do its whole work inside OnInitDialog and end there: its
    // window then never appears, not even between the initialisation and the end (where a
    // window manager would be waited for twice). Should it not end there, it appears when the
    // modal loop first waits.
    virtual bool ShowsWindow() const { return true; }

    // A button click (BN_CLICKED) routed through the message map; false when nothing handled it.
    bool OnCommand(int controlId);
    // Routes one message through the message maps and the framework's own entries (IDOK,
    // IDCANCEL); false when it wants default processing.
    bool HandleMessage(const WindowMessage& message, std::intptr_t& result);
    // From inside a handler: let the window system process the current message as well.
    void Default() { m_defaultRequested = true; }

    WindowSystem& windows() { return m_windows; }
    DialogWindow* window() { return m_window; }
    const DialogWindow* window() const { return m_window; }
    // Called by the window system when the dialog's window is created (and destroyed: null).
    void AttachWindow(DialogWindow* window) { m_window = window; }

protected:
    WindowSystem& m_windows;
    int m_templateId;
    DialogWindow* m_window = nullptr;

private:
    bool m_defaultRequested = false;
};

// Builders of message map entries from member functions, so a class's table reads like a list:
//   MessageMapEntry{onMessage<DLG_WM_PAINT, &SetupDialog::OnPaint>()},
//   onClicked<&SetupDialog::OnInstall>(IDC_INSTALL)
namespace message_map_detail {

template <class F>
struct ClassOf;
template <class D, class R, class... A>
struct ClassOf<R (D::*)(A...)> {
    using type = D;
};

}  // namespace message_map_detail

template <auto Handler>
constexpr MessageMapEntry onClicked(int controlId) {
    using D = typename message_map_detail::ClassOf<decltype(Handler)>::type;
    return {DLG_WM_COMMAND, controlId, [](Dialog& dialog, const WindowMessage&, std::intptr_t&) {
                (static_cast<D&>(dialog).*Handler)();
                return true;
            }};
}

// Handlers of the forms void(), void(unsigned, long) (wParam, lParam) or a value returned as
// the message's result.
template <unsigned Message, auto Handler>
constexpr MessageMapEntry onMessage() {
    using D = typename message_map_detail::ClassOf<decltype(Handler)>::type;
    return {Message, 0, [](Dialog& dialog, const WindowMessage& message, std::intptr_t& result) {
                D& self = static_cast<D&>(dialog);
                if constexpr (std::is_invocable_v<decltype(Handler), D&, unsigned, long>) {
                    (self.*Handler)(static_cast<unsigned>(message.wParam),
                                    static_cast<long>(message.lParam));
                } else if constexpr (std::is_void_v<std::invoke_result_t<decltype(Handler), D&>>) {
                    (void)message;
                    (self.*Handler)();
                } else {
                    (void)message;
                    result = static_cast<std::intptr_t>((self.*Handler)());
                }
                return true;
            }};
}
