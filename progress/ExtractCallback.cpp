#include "shell/SetupDialog.h"

int ExtractCallback(int code, void* param, void* context) {
    SetupDialog& dialog = *static_cast<SetupDialog*>(context);
    // The sequence runs on the dialog's thread: this is the only place where the window gets
    // its messages while the archive is inflated.
    dialog.windows().pumpMessages();
    switch (code) {
        case EXTRACT_ENTRY_BEGIN:
            dialog.m_currentLabel = "Extracting " + static_cast<const ArchiveEntry*>(param)->m_name;
            dialog.UpdateData(false);
            break;
        case EXTRACT_ENTRY_DONE:
            dialog.m_totalProgress.StepIt();
            break;
        case EXTRACT_PROGRESS:
            dialog.m_currentProgress.SetPos(*static_cast<const int*>(param) / 2);
            break;
        default:
            break;
    }
    return 0;
}
