#include "platform/win32/Win32WindowSystem.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>

#include "dialog/Control.h"
#include "dialog/Dialog.h"
#include "paths/WindowsPaths.h"
#include "platform/win32/GdiCanvas.h"
#include "platform/win32/MemoryDC.h"

namespace {

// The paint device context of one WM_PAINT (BeginPaint ... EndPaint).
class PaintDC {
public:
    explicit PaintDC(HWND window) : m_window(window) { m_dc = BeginPaint(window, &m_paint); }
    ~PaintDC() { EndPaint(m_window, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC handle() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

// The devices of one paint through an off-screen bitmap: the window's paint and the bitmap.
// Members go in reverse: the bitmap is copied to the window, then the paint ends.
class OffscreenPaint {
public:
    explicit OffscreenPaint(HWND window) : m_paint(window), m_memory(m_paint.handle()) {}

protected:
    PaintDC m_paint;
    MemoryDC m_memory;
};

// One paint through an off-screen bitmap. The devices are a base made before the drawing and
// ended after it.
class PaintCanvas : private OffscreenPaint, public GdiCanvas {
public:
    explicit PaintCanvas(HWND window) : OffscreenPaint(window), GdiCanvas(m_memory.handle()) {}
};

Rect clientRectOf(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

// The performance counter: the tick count moves in steps of up to 16 ms, too coarse for the
// pump's 10.
std::uint64_t counterNow() {
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return static_cast<std::uint64_t>(count.QuadPart);
}

std::uint64_t counterFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(frequency.QuadPart);
}

// A copy of a dialog template, without WS_VISIBLE for a window that nobody is to see: DialogBox
// would show the window the moment its initialisation returns, even when the dialog has ended
// inside it. Empty when the resource cannot be read. A String holds the bytes: its buffer comes
// from the heap, aligned as a template must be.
String dialogTemplate(int templateId, bool visible) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), RT_DIALOG);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
    if (bytes == nullptr || size < 16) {
        return {};
    }
    String copy(static_cast<const char*>(bytes), size);
    if (visible) {
        return copy;
    }
    // The extended form starts with its version 1 and 0xFFFF, the style 12 bytes in; the
    // plain form starts with the style.
    WORD version = 0;
    WORD signature = 0;
    std::memcpy(&version, copy.data(), sizeof version);
    std::memcpy(&signature, copy.data() + 2, sizeof signature);
    std::size_t styleAt = version == 1 && signature == 0xFFFF ? 12 : 0;
    DWORD style = 0;
    std::memcpy(&style, copy.data() + styleAt, sizeof style);
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(copy.data() + styleAt, &style, sizeof style);
    return copy;
}

// Where a subclassed control window keeps its Win32ControlWindow.
constexpr const char* CONTROL_PROPERTY = "ZilSetup.Control";

}  // namespace

class Win32ControlWindow : public ControlWindow {
public:
    Win32ControlWindow(HWND window, int id, std::unique_ptr<Win32ControlWindow> next)
        : m_window(window), m_id(id), m_next(std::move(next)) {}
    ~Win32ControlWindow() override { unsubclass(); }

    int id() const override { return m_id; }
    bool exists() const override { return IsWindow(m_window) != FALSE; }
    Rect clientRect() const override { return clientRectOf(m_window); }
    void show(bool visible) override { ShowWindow(m_window, visible ? SW_SHOW : SW_HIDE); }
    void enable(bool enabled) override { EnableWindow(m_window, enabled ? TRUE : FALSE); }
    String text() const override {
        int length = GetWindowTextLengthA(m_window);
        if (length <= 0) {
            return String();
        }
        String text(static_cast<std::size_t>(length), '\0');
        int copied = GetWindowTextA(m_window, text.data(), length + 1);
        text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
        return text;
    }
    void setText(const String& text) override { SetWindowTextA(m_window, text.c_str()); }
    bool hasVisiblePixels() const override {
        // IsWindowVisible looks at the parents too: a dialog never shown has no pixel at all.
        HWND parent = GetParent(m_window);
        if (!IsWindowVisible(m_window) || parent == nullptr || IsIconic(parent)) {
            return false;
        }
        RECT mine{};
        RECT client{};
        GetWindowRect(m_window, &mine);
        GetClientRect(parent, &client);
        MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&client), 2);
        RECT common{};
        return IntersectRect(&common, &mine, &client) != FALSE;
    }
    void redrawNow() override {
        RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    void invalidate(bool erase) override {
        InvalidateRect(m_window, nullptr, erase ? TRUE : FALSE);
    }
    void subclass(Control& control) override {
        m_control = &control;
        if (m_previous == nullptr && SetPropA(m_window, CONTROL_PROPERTY, this)) {
            m_previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure)));
        }
    }
    std::unique_ptr<Canvas> beginPaint() override {
        return std::make_unique<PaintCanvas>(m_window);
    }

    // The control window made before this one in the same dialog.
    Win32ControlWindow* next() const { return m_next.get(); }

    // The control goes away with the dialog: it must not reach this object any more.
    void detach() {
        unsubclass();
        if (m_control != nullptr && m_control->window() == this) {
            m_control->Attach(nullptr);
        }
        m_control = nullptr;
    }

private:
    void unsubclass() {
        if (m_previous != nullptr && IsWindow(m_window)) {
            SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
            RemovePropA(m_window, CONTROL_PROPERTY);
        }
        m_previous = nullptr;
    }

    LRESULT standard(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return CallWindowProcA(m_previous, window, message, wParam, lParam);
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<Win32ControlWindow*>(GetPropA(window, CONTROL_PROPERTY));
        if (self == nullptr || self->m_previous == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        Control* control = self->m_control;
        if (control == nullptr) {
            return self->standard(window, message, wParam, lParam);
        }
        switch (message) {
            case WM_ERASEBKGND:
                if (control->OnEraseBkgnd()) {
                    return TRUE;
                }
                break;
            case WM_PAINT:
                if (control->PaintsItself()) {
                    control->OnPaint();
                    // A control that declined to paint (an empty range) would otherwise get
                    // this request again from every message loop, and a pump that drains the
                    // queue would never find it empty.
                    ValidateRect(window, nullptr);
                    return 0;
                }
                break;
            case WM_SIZE: {
                LRESULT result = self->standard(window, message, wParam, lParam);
                control->OnSize();
                return result;
            }
            case WM_NCDESTROY: {
                WNDPROC previous = self->m_previous;
                self->unsubclass();
                return CallWindowProcA(previous, window, message, wParam, lParam);
            }
            default:
                break;
        }
        return self->standard(window, message, wParam, lParam);
    }

    HWND m_window;
    int m_id;
    Control* m_control = nullptr;
    WNDPROC m_previous = nullptr;  // the standard control's procedure while subclassed
    std::unique_ptr<Win32ControlWindow> m_next;
};

class Win32DialogWindow : public DialogWindow {
public:
    explicit Win32DialogWindow(Dialog& dialog) : m_dialog(dialog) {}

    ControlWindow* item(int id) override {
        for (Win32ControlWindow* known = m_items.get(); known != nullptr; known = known->next()) {
            if (known->id() == id) {
                return known;
            }
        }
        HWND child = GetDlgItem(m_window, id);
        if (child == nullptr) {
            return nullptr;
        }
        m_items = std::make_unique<Win32ControlWindow>(child, id, std::move(m_items));
        return m_items.get();
    }
    void endDialog(int result) override {
        m_ended = true;
        EndDialog(m_window, result);
    }
    bool hasEnded() const override { return m_ended; }
    void setWindowPos(int x, int y, int width, int height) override {
        SetWindowPos(m_window, nullptr, x, y, width, height, SWP_NOZORDER);
    }
    Rect clientRect() const override { return clientRectOf(m_window); }
    bool isIconic() const override { return IsIconic(m_window) != FALSE; }
    void setIcon(IconHandle icon) override {
        SendMessageA(m_window, WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon));
        SendMessageA(m_window, WM_SETICON, ICON_SMALL, static_cast<LPARAM>(icon));
    }
    void paintIcon(IconHandle icon, int x, int y) override {
        PaintDC paint(m_window);
        SendMessageA(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.handle()), 0);
        DrawIcon(paint.handle(), x, y, reinterpret_cast<HICON>(icon));
    }

    HWND handle() const { return m_window; }

    void detachAll() {
        for (Win32ControlWindow* item = m_items.get(); item != nullptr; item = item->next()) {
            item->detach();
        }
        m_items.reset();
        m_dialog.AttachWindow(nullptr);
    }

    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<Win32DialogWindow*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->m_window = window;
            self->m_dialog.AttachWindow(self);
            return self->m_dialog.OnInitDialog() ? TRUE : FALSE;
        }
        auto* self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrA(window, DWLP_USER));
        if (self == nullptr) {
            return FALSE;
        }
        switch (message) {
            case WM_PAINT:
            case WM_QUERYDRAGICON:
            case WM_COMMAND:
            case WM_SYSCOMMAND: {
                std::intptr_t result = 0;
                WindowMessage routed{message, wParam, lParam};
                if (!self->m_dialog.HandleMessage(routed, result)) {
                    return FALSE;
                }
                // The drag icon is one of the results a dialog procedure returns directly.
                return message == WM_QUERYDRAGICON ? static_cast<INT_PTR>(result) : TRUE;
            }
            default:
                return FALSE;
        }
    }

private:
    Dialog& m_dialog;
    HWND m_window = nullptr;
    bool m_ended = false;
    // A dialog has a handful of controls: a list is searched as fast as a tree and links less.
    // The newest comes first; each holds the one made before it.
    std::unique_ptr<Win32ControlWindow> m_items;
};

// The progress bars' window class lives in comctl32, which is not one of the libraries Windows
// always takes from its own folder: imported, it would be looked for beside the setup program
// (where a download folder may hold anything) before the DLL search is restricted. Loaded here,
// after the restriction, it comes from System32 alone, and stays for the life of the process.
Win32WindowSystem::Win32WindowSystem() : m_pumpSchedule(counterFrequency()) {
    HMODULE library = LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) {
        return;  // the dialog then cannot be made, and the run ends with 1603
    }
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    FARPROC found = GetProcAddress(library, "InitCommonControlsEx");
    if (found != nullptr) {
        auto init = reinterpret_cast<InitFunction>(reinterpret_cast<void (*)()>(found));
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        init(&controls);
    }
}

Win32WindowSystem::~Win32WindowSystem() = default;

int Win32WindowSystem::runModal(Dialog& dialog, int templateId) {
    String resource = dialogTemplate(templateId, dialog.ShowsWindow());
    if (resource.empty()) {
        return -1;  // what DialogBox answers for a template it cannot read
    }
    Win32DialogWindow window(dialog);
    Win32DialogWindow* outer = m_running;
    m_running = &window;
    INT_PTR result = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(resource.data()), nullptr,
        &Win32DialogWindow::procedure, reinterpret_cast<LPARAM>(&window));
    window.detachAll();
    m_running = outer;
    return static_cast<int>(result);
}

int Win32WindowSystem::messageBox(const String& text, const String& caption, unsigned type) {
    HWND owner = m_running != nullptr ? m_running->handle() : nullptr;
    return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

void Win32WindowSystem::pumpMessages() {
    // Every message goes, user input included; the dialog's keyboard navigation is not applied.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    m_pumpSchedule.drained(counterNow());
}

void Win32WindowSystem::pumpMessagesIfDue() {
    if (m_pumpSchedule.due(counterNow())) {
        pumpMessages();
    }
}

String Win32WindowSystem::loadString(int id) {
    char text[1024];
    int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof text);
    return String(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

IconHandle Win32WindowSystem::loadIcon(int id) {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
    return reinterpret_cast<IconHandle>(icon);
}

Color Win32WindowSystem::systemColor(int index) {
    return GetSysColor(index);
}

int Win32WindowSystem::systemMetric(int index) {
    return GetSystemMetrics(index);
}

String Win32WindowSystem::applicationName() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return NameWithoutExtension(String(path, length));
}
