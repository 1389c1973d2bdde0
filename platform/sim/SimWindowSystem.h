#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "dialog/PumpSchedule.h"
#include "platform/WindowSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimWindowModel.h"

class SimDialogWindow;
class SimFrontEnd;

// The simulated machine's windows: a model of the dialog built from its template, that tests
// read; message boxes that answer at once and go to the journal; the person at the screen played
// from ZIL_INPUT, then by the front end if there is one (it also shows the model as it changes).
class SimWindowSystem : public WindowSystem {
public:
    // frontEnd may be null (nothing shown, only ZIL_INPUT acts); it must outlive this object.
    explicit SimWindowSystem(SimMachine& machine, SimFrontEnd* frontEnd = nullptr);
    ~SimWindowSystem() override;

    // -1, as DialogBoxParam fails, for a template the program does not carry.
    int runModal(Dialog& dialog, int templateId) override;
    int messageBox(const String& text, const String& caption, unsigned type) override;
    void pumpMessages() override;
    void pumpMessagesIfDue() override;
    String loadString(int id) override;
    IconHandle loadIcon(int id) override;
    Color systemColor(int index) override;
    int systemMetric(int index) override;
    String applicationName() override;

    // --- for tests -------------------------------------------------------------------------
    // The running dialog, or the last one after it ended; null before the first.
    const SimDialogState* dialogState() const;
    const std::vector<SimMessageBox>& messageBoxes() const { return m_messageBoxes; }
    // Actions of the simulated person still to come ("click:1000", "click:1001", "close").
    std::size_t pendingInput() const { return m_input.size(); }
    // A message that arrives in the dialog's queue now, as a click ("click:1000") or a close
    // request ("close") would; the next look at the queue handles it, and all posted before it.
    void postInput(const std::string& action);
    // The posted messages that a look at the queue has handled, in the order handled.
    const std::vector<SimPostedInput>& handledPosts() const { return m_handledPosts; }
    // How often the queue has been looked at (PeekMessage until empty).
    std::size_t queueLooks() const { return m_queueLooks; }
    // Shows the running dialog now, as the modal loop does when it first waits.
    void showDialog();
    // Minimises and restores the running dialog.
    void setIconic(bool iconic);
    // A control window outside any dialog, for testing a control on its own.
    std::unique_ptr<ControlWindow> createControlWindow(int id, int width, int height);
    static const SimControlState& stateOf(const ControlWindow& window);
    // What the window system does to such a window: WM_SIZE, and the next message processing
    // (the pending erase and paint).
    static void resizeControlWindow(ControlWindow& window, int width, int height);
    static void processPaint(ControlWindow& window);

    // Called by the model when something a viewer sees has changed.
    void changed();
    // A "window: ..." line in the machine's journal.
    void journal(const std::string& detail);

private:
    // The person's next action: ZIL_INPUT's next, else the front end's; wait: block for it.
    std::string nextAction(bool wait);
    bool personPresent() const;
    void perform(const std::string& action);
    // Every posted message, in order.
    void handlePosted();

    SimMachine& m_machine;
    SimFrontEnd* m_frontEnd;
    std::deque<std::string> m_input;
    std::vector<SimMessageBox> m_messageBoxes;
    std::unique_ptr<SimDialogWindow> m_dialogWindow;
    Dialog* m_runningDialog = nullptr;
    std::deque<SimPostedInput> m_posted;
    std::vector<SimPostedInput> m_handledPosts;
    std::size_t m_queueLooks = 0;
    PumpSchedule m_pumpSchedule;
};
