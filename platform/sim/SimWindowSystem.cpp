#include "platform/sim/SimWindowSystem.h"

#include <algorithm>

#include "platform/WindowsPaths.h"
#include "platform/Control.h"
#include "platform/Dialog.h"
#include "platform/sim/SimFrontEnd.h"
#include "res/StringTable.h"

namespace {

// The pixel size of dialog units for the template's font, and of the default font's cells.
constexpr int BASE_UNIT_X = 7;
constexpr int BASE_UNIT_Y = 16;
constexpr int GLYPH_WIDTH = 8;
constexpr int GLYPH_HEIGHT = 16;
constexpr int SCREEN_WIDTH = 1024;
constexpr int SCREEN_HEIGHT = 768;
constexpr int FRAME = 3;     // DS_MODALFRAME border, each side
constexpr int CAPTION = 22;  // caption bar height
constexpr int ICON_SIZE = 32;

struct TemplateControl {
    int id;
    const char* className;
    const char* text;
    bool border;
    bool visible;
    int x, y, cx, cy;
};

// Dialog template 102's controls, from the list the resource script expands too. An icon
// static has no window text; the rest of the window style means nothing to the model.
// clang-format off
#define ZIL_ICON_TEXT(iconId) ""
#define ZIL_SIM_BORDER_BORDER true
#define ZIL_SIM_BORDER_NO_BORDER false
#define ZIL_SIM_VISIBILITY_SHOWN true
#define ZIL_SIM_VISIBILITY_HIDDEN false
#define ZIL_SIM_CONTROL(id, windowClass, text, style, border, visibility, x, y, width, height) \
    {id, windowClass, text, ZIL_SIM_BORDER_##border, ZIL_SIM_VISIBILITY_##visibility, x, y, width, height},
constexpr TemplateControl TEMPLATE_CONTROLS[] = {ZIL_SETUP_DIALOG_CONTROLS(ZIL_SIM_CONTROL)};
#undef ZIL_SIM_CONTROL
#undef ZIL_SIM_VISIBILITY_HIDDEN
#undef ZIL_SIM_VISIBILITY_SHOWN
#undef ZIL_SIM_BORDER_NO_BORDER
#undef ZIL_SIM_BORDER_BORDER
#undef ZIL_ICON_TEXT
// clang-format on

int mulDiv(int value, int numerator, int denominator) {
    // Rounded like MapDialogRect's MulDiv.
    long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + denominator / 2) / denominator);
}

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) {
        r.right = r.left;
    }
    if (r.bottom < r.top) {
        r.bottom = r.top;
    }
    return r;
}

}  // namespace

// --- drawing -----------------------------------------------------------------------------------

namespace {

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
    void drawCenteredText(const std::string& text, const Rect& area) override {
        int width = static_cast<int>(text.size()) * GLYPH_WIDTH;
        int left = area.left + (area.width() - width) / 2;
        int top = area.top + (area.height() - GLYPH_HEIGHT) / 2;
        m_picture.texts.push_back(
            {text, Rect{left, top, left + width, top + GLYPH_HEIGHT}, m_clip, m_textColor});
    }

private:
    SimControlState& m_state;
    SimWindowSystem& m_windows;
    SimPicture m_picture;
    Rect m_clip;
    Color m_textColor = 0;
};

}  // namespace

// --- windows -----------------------------------------------------------------------------------

class SimControlWindow : public ControlWindow {
public:
    SimControlWindow(SimWindowSystem& windows, SimControlState* state)
        : m_windows(windows), m_state(state) {}
    // A window of its own, outside any dialog.
    SimControlWindow(SimWindowSystem& windows, SimControlState own)
        : m_windows(windows), m_own(std::move(own)), m_state(&m_own) {}

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
    bool isEnabled() const override { return m_state->enabled; }
    void setText(const std::string& text) override {
        if (m_state->text != text) {
            m_state->text = text;
            m_windows.changed();
        }
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
    SimControlState& state() { return *m_state; }
    const SimControlState& state() const { return *m_state; }

private:
    SimWindowSystem& m_windows;
    SimControlState m_own;
    SimControlState* m_state;
    Control* m_control = nullptr;
};

class SimDialogWindow : public DialogWindow {
public:
    explicit SimDialogWindow(SimWindowSystem& windows) : m_windows(windows) {
        m_state.caption = ZIL_SETUP_DIALOG_CAPTION;
        Rect client = SimWindowSystem::dialogUnitsToPixels(0, 0, ZIL_SETUP_DIALOG_WIDTH,
                                                           ZIL_SETUP_DIALOG_HEIGHT);
        m_state.clientRect = client;
        // DS_CENTER: the window's middle on the screen's middle.
        int width = client.width() + 2 * FRAME;
        int height = client.height() + 2 * FRAME + CAPTION;
        int left = (SCREEN_WIDTH - width) / 2;
        int top = (SCREEN_HEIGHT - height) / 2;
        m_state.windowRect = {left, top, left + width, top + height};
        for (const TemplateControl& item : TEMPLATE_CONTROLS) {
            SimControlState control;
            control.id = item.id;
            control.className = item.className;
            control.text = item.text;
            control.rect = SimWindowSystem::dialogUnitsToPixels(item.x, item.y, item.cx, item.cy);
            if (item.border) {
                // The border is outside the client area: one pixel each side.
                control.rect = {control.rect.left + 1, control.rect.top + 1, control.rect.right - 1,
                                control.rect.bottom - 1};
            }
            control.visible = item.visible;
            // The dialog appears after its initialisation: every visible control is painted.
            control.pendingPaint = item.visible;
            control.pendingErase = item.visible;
            m_state.controls.push_back(control);
        }
        // The states stay where they are from here on: the windows point into the vector.
        for (SimControlState& control : m_state.controls) {
            m_items.push_back(std::make_unique<SimControlWindow>(m_windows, &control));
        }
    }

    SimControlWindow* find(int id) {
        for (auto& item : m_items) {
            if (item->id() == id) {
                return item.get();
            }
        }
        return nullptr;
    }
    ControlWindow* item(int id) override { return m_state.exists ? find(id) : nullptr; }
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
        m_state.windowRect = {x, y, x + width, y + height};
        m_state.clientRect = {0, 0, std::max(0, width - 2 * FRAME),
                              std::max(0, height - 2 * FRAME - CAPTION)};
        m_state.moves.push_back(m_state.windowRect);
        m_windows.changed();
    }
    Rect windowRect() const override { return m_state.windowRect; }
    Rect clientRect() const override { return m_state.clientRect; }
    bool isIconic() const override { return m_state.iconic; }
    void setIcon(IconHandle icon) override {
        m_state.bigIcon = icon;
        m_state.smallIcon = icon;
    }
    void paintIcon(IconHandle icon, int x, int y) override {
        m_state.iconPaints.push_back({icon, x, y});
    }

    void paintPending() {
        for (auto& item : m_items) {
            if (item->state().pendingPaint) {
                item->paint();
            }
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
    SimWindowSystem& m_windows;
    SimDialogState m_state;
    std::vector<std::unique_ptr<SimControlWindow>> m_items;
};

// --- the window system -------------------------------------------------------------------------

SimWindowSystem::SimWindowSystem(SimMachine& machine, SimFrontEnd* frontEnd)
    : m_machine(machine), m_frontEnd(frontEnd) {
    for (const std::string& action : machine.config().input) {
        m_input.push_back(action);
    }
}

SimWindowSystem::~SimWindowSystem() = default;

Rect SimWindowSystem::dialogUnitsToPixels(int x, int y, int width, int height) {
    return {mulDiv(x, BASE_UNIT_X, 4), mulDiv(y, BASE_UNIT_Y, 8), mulDiv(x + width, BASE_UNIT_X, 4),
            mulDiv(y + height, BASE_UNIT_Y, 8)};
}

int SimWindowSystem::runModal(Dialog& dialog, int templateId) {
    if (templateId != IDD_SETUP_DIALOG || m_runningDialog != nullptr) {
        return -1;
    }
    m_dialogWindow = std::make_unique<SimDialogWindow>(*this);
    m_runningDialog = &dialog;
    dialog.AttachWindow(m_dialogWindow.get());
    // The person acts from the start: a command-line sequence runs inside the initialisation.
    if (m_frontEnd != nullptr) {
        m_frontEnd->beginModal();
    }
    dialog.OnInitDialog();
    changed();
    while (!m_dialogWindow->hasEnded()) {
        paintPending();
        nextInputOrKey();
    }
    paintPending();
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

void SimWindowSystem::nextInputOrKey() {
    std::string action = nextAction(true);
    if (action.empty()) {
        return;
    }
    performInput(action);
    bool nobodyLeft = m_input.empty() && !personPresent();
    if (action == "close" && nobodyLeft && !m_dialogWindow->hasEnded()) {
        // A dialog that refuses to close would wait for ever.
        m_machine.journal("window", "closed: nobody left to answer");
        m_dialogWindow->endDialog(DLG_IDCANCEL);
    }
}

bool SimWindowSystem::performInput(const std::string& action) {
    if (m_runningDialog == nullptr || m_dialogWindow->hasEnded()) {
        return false;
    }
    std::intptr_t result = 0;
    if (action == "close") {
        m_machine.journal("window", "close");
        WindowMessage message{DLG_WM_COMMAND, static_cast<std::uintptr_t>(DLG_IDCANCEL), 0};
        return m_runningDialog->HandleMessage(message, result);
    }
    if (action.rfind("click:", 0) == 0) {
        int id = std::atoi(action.c_str() + 6);
        SimControlWindow* button = m_dialogWindow->find(id);
        // A person can click only what is there to see and enabled.
        if (button == nullptr || !button->state().visible || !button->state().enabled) {
            m_machine.journal("window", "click " + std::to_string(id) + " ignored: disabled");
            return false;
        }
        m_machine.journal("window", "click " + std::to_string(id));
        WindowMessage message{DLG_WM_COMMAND, static_cast<std::uintptr_t>(id), 0};
        return m_runningDialog->HandleMessage(message, result);
    }
    m_machine.journal("window", "unknown input " + action);
    return false;
}

void SimWindowSystem::paintPending() {
    if (m_dialogWindow) {
        m_dialogWindow->paintPending();
    }
}

void SimWindowSystem::pumpMessages() {
    if (m_runningDialog == nullptr) {
        return;
    }
    paintPending();
    std::string action = nextAction(false);
    if (!action.empty()) {
        performInput(action);
    }
    paintPending();
}

int SimWindowSystem::messageBox(const std::string& text, const std::string& caption,
                                unsigned type) {
    m_messageBoxes.push_back({caption, text, type});
    m_machine.journal("messagebox", caption + ": " + text);
    if (m_frontEnd != nullptr) {
        m_frontEnd->showMessageBox(caption, text);
    }
    return DLG_IDOK;
}

std::string SimWindowSystem::loadString(int id) {
    const char* text = StringTableText(id);
    return text != nullptr ? text : "";
}

IconHandle SimWindowSystem::loadIcon(int id) {
    return id == IDR_MAINFRAME ? static_cast<IconHandle>(IDR_MAINFRAME) : 0;
}

Color SimWindowSystem::systemColor(int index) {
    switch (index) {
        case WS_COLOR_WINDOW:
            return SIM_COLOR_WINDOW;
        case WS_COLOR_HIGHLIGHT:
            return SIM_COLOR_HIGHLIGHT;
        default:
            return 0;
    }
}

int SimWindowSystem::systemMetric(int index) {
    return index == WS_METRIC_CXICON || index == WS_METRIC_CYICON ? ICON_SIZE : 0;
}

std::string SimWindowSystem::applicationName() {
    return NameWithoutExtension(m_machine.modulePath());
}

const SimDialogState* SimWindowSystem::dialogState() const {
    return m_dialogWindow ? &m_dialogWindow->state() : nullptr;
}

void SimWindowSystem::addInput(const std::string& action) {
    m_input.push_back(action);
}

void SimWindowSystem::setIconic(bool iconic) {
    if (m_dialogWindow) {
        m_dialogWindow->state().iconic = iconic;
    }
}

bool SimWindowSystem::sendToDialog(unsigned message) {
    if (m_runningDialog == nullptr) {
        return false;
    }
    std::intptr_t result = 0;
    return m_runningDialog->HandleMessage(WindowMessage{message, 0, 0}, result);
}

std::unique_ptr<ControlWindow> SimWindowSystem::createControlWindow(int id, int width, int height) {
    SimControlState state;
    state.id = id;
    state.className = "msctls_progress32";
    state.rect = {0, 0, width, height};
    return std::make_unique<SimControlWindow>(*this, std::move(state));
}

const SimControlState& SimWindowSystem::stateOf(const ControlWindow& window) {
    return static_cast<const SimControlWindow&>(window).state();
}

void SimWindowSystem::resizeControlWindow(ControlWindow& window, int width, int height) {
    static_cast<SimControlWindow&>(window).resize(width, height);
}

void SimWindowSystem::processPaint(ControlWindow& window) {
    auto& control = static_cast<SimControlWindow&>(window);
    if (control.state().pendingPaint) {
        control.paint();
    }
}

void SimWindowSystem::journal(const std::string& detail) {
    m_machine.journal("window", detail);
}

void SimWindowSystem::changed() {
    if (m_frontEnd != nullptr && m_dialogWindow) {
        m_frontEnd->showDialog(m_dialogWindow->state());
    }
}
