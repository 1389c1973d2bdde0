#include "platform/sim/SimWindowSystem.h"

#include <algorithm>
#include <cstdlib>

#include "dialog/Control.h"
#include "dialog/Dialog.h"
#include "paths/WindowsPaths.h"
#include "platform/sim/SimFrontEnd.h"
#include "res/DialogTemplate.h"
#include "res/StringTable.h"

namespace {

// The pixel size of dialog units for the template's font, and of the default font's cells.
constexpr int SIM_BASE_UNIT_X = 7;
constexpr int SIM_BASE_UNIT_Y = 16;
constexpr int SIM_GLYPH_WIDTH = 8;
constexpr int SIM_GLYPH_HEIGHT = 16;
constexpr int SIM_SCREEN_WIDTH = 1024;
constexpr int SIM_SCREEN_HEIGHT = 768;
constexpr int SIM_FRAME = 3;     // DS_MODALFRAME border, each side
constexpr int SIM_CAPTION = 22;  // caption bar height
constexpr int SIM_ICON_SIZE = 32;

int mulDiv(int value, int numerator, int denominator) {
    // Rounded like MapDialogRect's MulDiv.
    long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + denominator / 2) / denominator);
}

Rect dialogUnitsToPixels(int x, int y, int width, int height) {
    return {mulDiv(x, SIM_BASE_UNIT_X, 4), mulDiv(y, SIM_BASE_UNIT_Y, 8),
            mulDiv(x + width, SIM_BASE_UNIT_X, 4), mulDiv(y + height, SIM_BASE_UNIT_Y, 8)};
}

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    return r;
}

class SimCanvas : public Canvas {
public:
    SimCanvas(SimControlState& state, SimWindowSystem& windows)
        : m_state(state), m_windows(windows), m_clip(state.clientRect()) {}
    ~SimCanvas() override {
        m_state.picture = std::move(m_picture);
        m_windows.changed();
    }

    void fillSolidRect(const Rect& area, Color color) override {
        // An inverted rectangle fills nothing, as with GDI.
        if (area.width() > 0 && area.height() > 0) {
            m_picture.fills.push_back({area, color});
        }
    }
    void setTransparentText() override { m_picture.transparent = true; }
    void setClipRect(const Rect& area) override { m_clip = intersect(area, m_state.clientRect()); }
    void clearClip() override { m_clip = m_state.clientRect(); }
    void setTextColor(Color color) override { m_textColor = color; }
    void drawCenteredText(const String& text, const Rect& area) override {
        int width = static_cast<int>(text.size()) * SIM_GLYPH_WIDTH;
        int left = area.left + (area.width() - width) / 2;
        int top = area.top + (area.height() - SIM_GLYPH_HEIGHT) / 2;
        m_picture.texts.push_back({std::string(text),
                                   Rect{left, top, left + width, top + SIM_GLYPH_HEIGHT}, m_clip,
                                   m_textColor});
    }

private:
    SimControlState& m_state;
    SimWindowSystem& m_windows;
    SimPicture m_picture;
    Rect m_clip;
    Color m_textColor = 0;
};

}  // namespace

class SimControlWindow : public ControlWindow {
public:
    // A window on a state the dialog keeps, or (state null) on one of its own.
    // dialog: the state of the dialog the control sits in; null for a window on its own.
    SimControlWindow(SimWindowSystem& windows, SimControlState* state,
                     const SimDialogState* dialog = nullptr)
        : m_windows(windows), m_state(state != nullptr ? state : &m_own), m_dialog(dialog) {}

    int id() const override { return m_state->id; }
    bool exists() const override { return m_state->exists; }
    Rect clientRect() const override { return m_state->clientRect(); }
    void show(bool visible) override {
        if (visible && !m_state->visible) {
            invalidate(true);  // a window that appears is painted
        }
        m_state->visible = visible;
        m_windows.changed();
    }
    void enable(bool enabled) override {
        m_state->enabled = enabled;
        m_windows.changed();
    }
    String text() const override { return m_state->text; }
    void setText(const String& text) override {
        ++m_state->textSets;
        if (text != std::string_view(m_state->text)) {
            m_state->text = text;
            m_windows.changed();
        }
    }
    bool hasVisiblePixels() const override {
        if (!m_state->visible) {
            return false;
        }
        if (m_dialog == nullptr) {
            return true;
        }
        Rect common = intersect(m_state->rect, m_dialog->clientRect);
        return m_dialog->visible && !m_dialog->iconic && common.width() > 0 && common.height() > 0;
    }
    void redrawNow() override {
        m_state->pendingErase = true;
        paint();
    }
    void invalidate(bool erase) override {
        m_state->pendingPaint = true;
        m_state->pendingErase = m_state->pendingErase || erase;
    }
    void subclass(Control& control) override {
        m_control = &control;
        m_state->subclassed = true;
    }
    std::unique_ptr<Canvas> beginPaint() override {
        return std::make_unique<SimCanvas>(*m_state, m_windows);
    }

    // Delivers the pending WM_ERASEBKGND and WM_PAINT, then validates the window whatever the
    // control did, so a control that declined to paint leaves no request behind.
    void paint() {
        if (m_state->pendingErase && (m_control == nullptr || !m_control->OnEraseBkgnd())) {
            ++m_state->eraseCount;
        }
        m_state->pendingErase = false;
        m_state->pendingPaint = false;
        ++m_state->paintCount;
        if (m_control != nullptr && m_control->PaintsItself()) {
            m_control->OnPaint();
        }
    }
    void paintIfPending() {
        if (m_state->pendingPaint) {
            paint();
        }
    }
    void resize(int width, int height) {
        m_state->rect.right = m_state->rect.left + width;
        m_state->rect.bottom = m_state->rect.top + height;
        if (m_control != nullptr) {
            m_control->OnSize();
        }
        invalidate(true);
    }
    void destroy() {
        m_state->exists = false;
        if (m_control != nullptr && m_control->window() == this) {
            m_control->Attach(nullptr);
        }
        m_control = nullptr;
    }
    SimControlState& state() const { return *m_state; }

private:
    SimWindowSystem& m_windows;
    SimControlState m_own;
    SimControlState* m_state;
    const SimDialogState* m_dialog;
    Control* m_control = nullptr;
};

class SimDialogWindow : public DialogWindow {
public:
    SimDialogWindow(SimWindowSystem& windows, const DialogTemplate& dialogTemplate)
        : m_windows(windows) {
        m_state.caption = dialogTemplate.caption;
        // DS_CENTER: the window's middle on the screen's middle.
        Rect client = dialogUnitsToPixels(0, 0, dialogTemplate.width, dialogTemplate.height);
        int width = client.width() + 2 * SIM_FRAME;
        int height = client.height() + 2 * SIM_FRAME + SIM_CAPTION;
        place((SIM_SCREEN_WIDTH - width) / 2, (SIM_SCREEN_HEIGHT - height) / 2, width, height);
        // The windows point into the states, which never move: the vector is made big enough.
        m_state.controls.reserve(dialogTemplate.controls.size());
        for (const DialogTemplateControl& item : dialogTemplate.controls) {
            SimControlState& control = m_state.controls.emplace_back();
            control.id = item.id;
            control.text = item.text;
            control.rect = dialogUnitsToPixels(item.x, item.y, item.width, item.height);
            if (item.border) {
                // The border is outside the client area: one pixel each side.
                control.rect = {control.rect.left + 1, control.rect.top + 1, control.rect.right - 1,
                                control.rect.bottom - 1};
            }
            control.visible = item.visible;
            m_items.push_back(std::make_unique<SimControlWindow>(m_windows, &control, &m_state));
        }
    }

    SimControlWindow* item(int id) override {
        auto found = std::find_if(m_items.begin(), m_items.end(),
                                  [id](const auto& item) { return item->id() == id; });
        return m_state.exists && found != m_items.end() ? found->get() : nullptr;
    }
    void endDialog(int result) override {
        if (!m_state.ended) {
            m_state.ended = true;
            m_state.endCode = result;
        }
    }
    bool hasEnded() const override { return m_state.ended; }
    void setWindowPos(int x, int y, int width, int height) override {
        m_windows.journal("move " + std::to_string(x) + "," + std::to_string(y) + " " +
                          std::to_string(width) + "x" + std::to_string(height));
        std::vector<bool> before = seen();
        place(x, y, width, height);
        m_state.moves.push_back(m_state.windowRect);
        exposeNewlySeen(before);
        m_windows.changed();
    }
    void setIconic(bool iconic) {
        std::vector<bool> before = seen();
        m_state.iconic = iconic;
        exposeNewlySeen(before);
    }
    // ShowWindow on the dialog: what comes into view is painted at the next message processing.
    void show() {
        if (m_state.visible) {
            return;
        }
        std::vector<bool> before = seen();
        m_state.visible = true;
        m_state.everVisible = true;
        exposeNewlySeen(before);
        m_windows.changed();
    }
    Rect clientRect() const override { return m_state.clientRect; }
    bool isIconic() const override { return m_state.iconic; }
    void setIcon(IconHandle icon) override { m_state.icon = icon; }
    void paintIcon(IconHandle icon, int x, int y) override {
        m_state.iconPaints.push_back({icon, x, y});
    }

    void paintPending() {
        for (auto& item : m_items) {
            item->paintIfPending();
        }
    }
    void destroy() {
        for (auto& item : m_items) {
            item->destroy();
        }
        m_state.exists = false;
    }
    SimDialogState& state() { return m_state; }

private:
    std::vector<bool> seen() const {
        std::vector<bool> seen;
        for (const auto& item : m_items) {
            seen.push_back(item->hasVisiblePixels());
        }
        return seen;
    }
    void exposeNewlySeen(const std::vector<bool>& before) {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (!before[i] && m_items[i]->hasVisiblePixels()) {
                m_items[i]->invalidate(true);
            }
        }
    }

    void place(int x, int y, int width, int height) {
        m_state.windowRect = {x, y, x + width, y + height};
        m_state.clientRect = {0, 0, std::max(0, width - 2 * SIM_FRAME),
                              std::max(0, height - 2 * SIM_FRAME - SIM_CAPTION)};
    }

    SimWindowSystem& m_windows;
    SimDialogState m_state;
    std::vector<std::unique_ptr<SimControlWindow>> m_items;
};

SimWindowSystem::SimWindowSystem(SimMachine& machine, SimFrontEnd* frontEnd)
    : m_machine(machine),
      m_frontEnd(frontEnd),
      m_input(machine.config().input.begin(), machine.config().input.end()),
      m_pumpSchedule(1000) {}  // the machine's clock counts milliseconds

SimWindowSystem::~SimWindowSystem() = default;

int SimWindowSystem::runModal(Dialog& dialog, int templateId) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
    if (dialogTemplate == nullptr || m_runningDialog != nullptr) {
        return -1;
    }
    m_dialogWindow = std::make_unique<SimDialogWindow>(*this, *dialogTemplate);
    m_runningDialog = &dialog;
    dialog.AttachWindow(m_dialogWindow.get());
    // The person acts from the start: a command-line sequence runs inside the initialisation.
    if (m_frontEnd != nullptr) {
        m_frontEnd->beginModal();
    }
    dialog.OnInitDialog();
    if (dialog.ShowsWindow()) {
        m_dialogWindow->show();
    }
    changed();
    while (!m_dialogWindow->hasEnded()) {
        // The modal loop shows a hidden dialog the first time it waits.
        m_dialogWindow->show();
        m_dialogWindow->paintPending();
        handlePosted();
        if (m_dialogWindow->hasEnded()) {
            break;
        }
        std::string action = nextAction(true);
        perform(action);
        if (action == "close" && m_input.empty() && !personPresent() &&
            !m_dialogWindow->hasEnded()) {
            // A dialog that refuses to close would wait for ever.
            journal("closed: nobody left to answer");
            m_dialogWindow->endDialog(DLG_IDCANCEL);
        }
    }
    m_dialogWindow->paintPending();
    int result = m_dialogWindow->state().endCode;
    m_dialogWindow->destroy();
    dialog.AttachWindow(nullptr);
    m_runningDialog = nullptr;
    changed();
    if (m_frontEnd != nullptr) {
        m_frontEnd->endModal();
    }
    return result;
}

std::string SimWindowSystem::nextAction(bool wait) {
    if (!m_input.empty()) {
        std::string action = m_input.front();
        m_input.pop_front();
        return action;
    }
    if (!personPresent()) {
        return wait ? "close" : "";
    }
    return m_frontEnd->nextAction(wait);
}

bool SimWindowSystem::personPresent() const {
    return m_frontEnd != nullptr && m_frontEnd->present();
}

void SimWindowSystem::perform(const std::string& action) {
    if (action.empty() || m_runningDialog == nullptr || m_dialogWindow->hasEnded()) {
        return;
    }
    int id = DLG_IDCANCEL;
    if (action == "close") {
        journal("close");
    } else if (action.rfind("click:", 0) == 0) {
        id = std::atoi(action.c_str() + 6);
        SimControlWindow* button = m_dialogWindow->item(id);
        // A person can click only what is there to see and enabled.
        if (button == nullptr || !button->state().visible || !button->state().enabled) {
            journal("click " + std::to_string(id) + " ignored: disabled");
            return;
        }
        journal("click " + std::to_string(id));
    } else {
        journal("unknown input " + action);
        return;
    }
    std::intptr_t result = 0;
    m_runningDialog->HandleMessage({DLG_WM_COMMAND, static_cast<std::uintptr_t>(id), 0}, result);
}

void SimWindowSystem::pumpMessages() {
    ++m_queueLooks;
    if (m_runningDialog != nullptr) {
        m_dialogWindow->paintPending();
        // What was posted is in the queue already; then the person's next action, as one who
        // clicks while setup runs.
        handlePosted();
        perform(nextAction(false));
        m_dialogWindow->paintPending();
    }
    m_pumpSchedule.drained(m_machine.now());
}

void SimWindowSystem::handlePosted() {
    while (!m_posted.empty()) {
        SimPostedInput posted = m_posted.front();
        m_posted.pop_front();
        posted.handledAt = m_machine.now();
        m_handledPosts.push_back(posted);
        perform(posted.action);
    }
}

void SimWindowSystem::pumpMessagesIfDue() {
    if (m_pumpSchedule.due(m_machine.now())) {
        pumpMessages();
    }
}

void SimWindowSystem::postInput(const std::string& action) {
    m_posted.push_back({action, m_machine.now(), 0});
}

int SimWindowSystem::messageBox(const String& text, const String& caption, unsigned type) {
    m_messageBoxes.push_back({std::string(caption), std::string(text), type});
    m_machine.journal("messagebox", caption + ": " + text);
    if (m_frontEnd != nullptr) {
        m_frontEnd->showMessageBox(std::string(caption), std::string(text));
    }
    return DLG_IDOK;
}

String SimWindowSystem::loadString(int id) {
    const char* text = StringTableText(id);
    return text != nullptr ? text : "";
}

IconHandle SimWindowSystem::loadIcon(int id) {
    return id == IDR_MAINFRAME ? static_cast<IconHandle>(IDR_MAINFRAME) : 0;
}

Color SimWindowSystem::systemColor(int index) {
    return index == WS_COLOR_WINDOW ? SIM_COLOR_WINDOW
                                    : (index == WS_COLOR_HIGHLIGHT ? SIM_COLOR_HIGHLIGHT : 0);
}

int SimWindowSystem::systemMetric(int index) {
    return index == WS_METRIC_CXICON || index == WS_METRIC_CYICON ? SIM_ICON_SIZE : 0;
}

String SimWindowSystem::applicationName() {
    return NameWithoutExtension(m_machine.modulePath());
}

const SimDialogState* SimWindowSystem::dialogState() const {
    return m_dialogWindow ? &m_dialogWindow->state() : nullptr;
}

void SimWindowSystem::showDialog() {
    if (m_dialogWindow) {
        m_dialogWindow->show();
    }
}

void SimWindowSystem::setIconic(bool iconic) {
    if (m_dialogWindow) {
        m_dialogWindow->setIconic(iconic);
    }
}

std::unique_ptr<ControlWindow> SimWindowSystem::createControlWindow(int id, int width, int height) {
    auto window = std::make_unique<SimControlWindow>(*this, nullptr);
    window->state().id = id;
    window->state().rect = {0, 0, width, height};
    return window;
}

const SimControlState& SimWindowSystem::stateOf(const ControlWindow& window) {
    return static_cast<const SimControlWindow&>(window).state();
}

void SimWindowSystem::resizeControlWindow(ControlWindow& window, int width, int height) {
    static_cast<SimControlWindow&>(window).resize(width, height);
}

void SimWindowSystem::processPaint(ControlWindow& window) {
    static_cast<SimControlWindow&>(window).paintIfPending();
}

void SimWindowSystem::journal(const std::string& detail) {
    m_machine.journal("window", detail);
}

void SimWindowSystem::changed() {
    if (m_frontEnd != nullptr && m_dialogWindow) {
        m_frontEnd->showDialog(m_dialogWindow->state());
    }
}
