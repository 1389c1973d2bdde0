#pragma once

#include <string>

#include "platform/Control.h"
#include "platform/WindowSystem.h"

enum : int {
    DLG_IDOK = 1,
    DLG_IDCANCEL = 2,
    DLG_MB_OK = 0,
};

class Dialog;

// The framework's data exchange: attaches controls and copies member strings into them.
// Only the direction from members to controls exists in this program.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool saveAndValidate);
    void Control(int id, ::Control& control);  // DDX_Control
    void Text(int id, const std::string& text);  // DDX_Text, members to controls
    bool m_saveAndValidate;

private:
    Dialog& m_dialog;
};

// A modal dialog from a dialog template (the framework's CDialog).
class Dialog {
public:
    Dialog(WindowSystem& windows, int templateId);
    virtual ~Dialog();

    int DoModal();
    void EndDialog(int result);
    bool UpdateData(bool saveAndValidate);
    // SetWindowPos with no insert-after window and SWP_NOZORDER.
    void SetWindowPos(int x, int y, int width, int height);
    void ShowItem(int id, bool show);
    void EnableItem(int id, bool enable);
    bool IsIconic() const;
    // The framework's AfxMessageBox: the application's name as caption.
    int AfxMessageBox(const std::string& text, unsigned type = DLG_MB_OK);
    std::string LoadStringResource(int id);

    virtual bool OnInitDialog();
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange& exchange);
    // A button click (BN_CLICKED), routed through the dialog's message map; false when the
    // map has no entry for the control.
    virtual bool OnCommand(int controlId);

    WindowSystem& windows() { return m_windows; }
    DialogWindow* window() { return m_window; }
    void AttachWindow(DialogWindow* window) { m_window = window; }

protected:
    WindowSystem& m_windows;
    int m_templateId;
    DialogWindow* m_window = nullptr;
};
