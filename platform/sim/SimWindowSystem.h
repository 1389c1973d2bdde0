#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/WindowSystem.h"
#include "platform/sim/SimMachine.h"

// What one paint of a control drew, in client pixels, with the rectangles GDI would use.
struct SimPicture {
    struct Fill {
        Rect area;
        Color color;
    };
    struct Text {
        std::string text;
        Rect box;   // where DT_CENTER | DT_VCENTER | DT_SINGLELINE puts the text in its area
        Rect clip;  // the clip region in force; the whole client area without one
        Color color;
    };
    std::vector<Fill> fills;
    std::vector<Text> texts;
    bool transparent = false;

    // The colour of a pixel after the fills, or `background` where none covers it.
    Color pixel(int x, int y, Color background) const;
    // The text drawn over pixel column x as a viewer sees it: the characters of every draw whose
    // box and clip both hold that column, with their colour. Empty when no text covers it.
    std::vector<const Text*> textsAt(int x, int y) const;
};

// The model of one control of the dialog, as a test reads it.
struct SimControlState {
    int id = 0;
    std::string className;
    std::string text;
    Rect rect;  // in the dialog's client pixels
    bool visible = true;
    bool enabled = true;
    bool exists = true;
    bool subclassed = false;
    bool pendingPaint = false;  // invalidated, waiting for the next message processing
    bool pendingErase = false;
    int paintCount = 0;  // paint requests delivered to the control
    int eraseCount = 0;  // WM_ERASEBKGND left to the default processing (a visible erase)
    SimPicture picture;  // what the last paint drew
    Rect clientRect() const { return {0, 0, rect.width(), rect.height()}; }
};

struct SimMessageBox {
    std::string caption;
    std::string text;
    unsigned type = 0;
};

// The model of the dialog's window.
struct SimDialogState {
    int templateId = 0;
    std::string caption;
    Rect windowRect;  // screen pixels
    Rect clientRect;
    bool exists = true;
    bool ended = false;
    int endCode = 0;
    bool iconic = false;
    IconHandle bigIcon = 0;
    IconHandle smallIcon = 0;
    std::vector<Rect> moves;  // every SetWindowPos, in order
    struct IconPaint {
        IconHandle icon;
        int x;
        int y;
    };
    std::vector<IconPaint> iconPaints;
    std::vector<SimControlState> controls;  // in template (tab) order

    const SimControlState* control(int id) const;
};

class SimControlWindow;
class SimDialogWindow;
class SimTerminal;

// The simulated machine's windows: a model of the dialog that tests read, message boxes that
// answer at once and go to the journal, the template and string table as data, the person at
// the screen played from ZIL_INPUT (or the terminal's keys), and with ZIL_UI=text the two bars
// drawn on the terminal as they change.
class SimWindowSystem : public WindowSystem {
public:
    explicit SimWindowSystem(SimMachine& machine);
    ~SimWindowSystem() override;

    int runModal(Dialog& dialog, int templateId) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void pumpMessages() override;
    std::string loadString(int id) override;
    IconHandle loadIcon(int id) override;
    Color systemColor(int index) override;
    int systemMetric(int index) override;
    std::string applicationName() override;

    // --- for tests -------------------------------------------------------------------------
    // The running dialog, or the last one after it ended; null before the first.
    const SimDialogState* dialogState() const;
    const std::vector<SimMessageBox>& messageBoxes() const { return m_messageBoxes; }
    // Actions of the simulated person still to come ("click:1000", "click:1001", "close").
    void addInput(const std::string& action);
    std::size_t pendingInput() const { return m_input.size(); }
    // Resizes a control of the running dialog (WM_SIZE), or minimises and restores the dialog.
    void resizeControl(int id, int width, int height);
    void setIconic(bool iconic);
    // Delivers a message to the running dialog as the window system would (WM_PAINT, say).
    bool sendToDialog(unsigned message);
    // A control window outside any dialog, for testing a control on its own.
    std::unique_ptr<ControlWindow> createControlWindow(int id, int width, int height);
    static const SimControlState& stateOf(const ControlWindow& window);
    // What the window system does to such a window: WM_SIZE, and the next message processing
    // (the pending erase and paint).
    static void resizeControlWindow(ControlWindow& window, int width, int height);
    static void processPaint(ControlWindow& window);

    // Dialog units to pixels with the template font's base units.
    static Rect dialogUnitsToPixels(int x, int y, int width, int height);

    // Called by the model when something a viewer sees has changed.
    void changed();
    // A "window: ..." line in the machine's journal.
    void journal(const std::string& detail);

private:
    bool performInput(const std::string& action);
    // The person's next action: ZIL_INPUT's next, else a key; wait: block for the key.
    std::string nextAction(bool wait);
    void nextInputOrKey();
    void paintPending();

    SimMachine& m_machine;
    std::deque<std::string> m_input;
    bool m_endOfInput = false;  // the terminal's input has ended
    std::vector<SimMessageBox> m_messageBoxes;
    std::unique_ptr<SimDialogWindow> m_dialogWindow;
    Dialog* m_runningDialog = nullptr;
    std::unique_ptr<SimTerminal> m_terminal;
};
