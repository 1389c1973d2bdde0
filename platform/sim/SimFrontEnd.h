#pragma once

#include <string>

#include "platform/sim/SimWindowModel.h"

// The person's click on a control, as ZIL_INPUT writes it.
inline std::string SimClick(int id) {
    return "click:" + std::to_string(id);
}

// The person at the simulated machine's screen, as the window system meets them: what they see
// of the dialog and its message boxes, and what they do. Without a front end (ZIL_UI=none) the
// machine shows nothing and only ZIL_INPUT acts.
class SimFrontEnd {
public:
    virtual ~SimFrontEnd() = default;

    // A dialog's modal loop starts and ends; the person may act in between.
    virtual void beginModal() = 0;
    virtual void endModal() = 0;
    // Something a viewer sees of the dialog has changed (it may have closed: dialog.exists).
    virtual void showDialog(const SimDialogState& dialog) = 0;
    // A message box, which the window system answers with OK itself.
    virtual void showMessageBox(const std::string& caption, const std::string& text) = 0;
    // The person's next action, as ZIL_INPUT writes them ("click:1000", "click:1001", "close");
    // "" for none yet. wait: block until there is one, or until nobody is left (then "close").
    virtual std::string nextAction(bool wait) = 0;
    // False once nobody is left to act.
    virtual bool present() const = 0;
};
