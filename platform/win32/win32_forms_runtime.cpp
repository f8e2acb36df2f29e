#include "platform/win32/win32_forms_runtime.h"

#include <shellapi.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "core/error.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"
#include "platform/win32/dialog_controls.h"
#include "platform/win32/form_view.h"
#include "platform/win32/this_module.h"

namespace bm::win32 {

namespace {

[[noreturn]] void RaiseSystemError(const std::string& what) {
    raise(ErrorKind::HostFailure, what + " (system error " + std::to_string(GetLastError()) + ")");
}

std::string Describe(const ui::Form& form) {
    return "the dialog '" + form.Kind() + "' (" + form.Caption() + ")";
}

// The form windows' class, registered only while a modal show runs: the
// library may be unloaded and loaded again at another address, and a class
// left registered would still point into the old code.
class WindowClass {
public:
    explicit WindowClass(WNDPROC procedure) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ThisModule();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = dialog::kFormClass;
        // A modal show nested in another finds the class registered already.
        owned_ = RegisterClassExW(&windowClass) != 0;
        if (!owned_ && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            RaiseSystemError("the dialog window class cannot be registered");
    }
    ~WindowClass() {
        if (owned_) UnregisterClassW(dialog::kFormClass, ThisModule());
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

private:
    bool owned_ = false;
};

// The thread's other enabled top-level windows (the host's own among
// them), disabled for as long as this lives, as a modal form disables the
// windows of its program; each is enabled again at the end, before the
// modal window goes, so that the activation returns to them.
class ThreadWindowsDisabled {
public:
    explicit ThreadWindowsDisabled(HWND modal) : modal_(modal) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND window : disabled_) EnableWindow(window, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND window : disabled_)
            if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Collect(HWND window, LPARAM self) {
        auto& disabling = *reinterpret_cast<ThreadWindowsDisabled*>(self);
        if (window != disabling.modal_ && IsWindowEnabled(window)) disabling.disabled_.push_back(window);
        return TRUE;
    }

    HWND modal_;
    std::vector<HWND> disabled_;
};

// The shell gives every unowned window a button on the task bar. The
// add-in's dialogs stand on the desktop with no owner among the host's
// windows and no button of their own: each is owned by a hidden window
// that exists only while it is shown. Without one (the system refused it)
// the dialog still comes up, merely with a button.
UniqueWindow HiddenOwner() {
    return UniqueWindow(
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, ThisModule(), nullptr));
}

int Pixels(float twips, float twipsPerPixel) { return static_cast<int>(std::lround(twips / twipsPerPixel)); }

float TwipsPerPixel(int axis) {
    const UniqueWindowDc screen = WindowDc(nullptr);
    const int dotsPerInch = screen ? GetDeviceCaps(screen.get(), axis) : 0;
    // VGA resolution when the screen will not say.
    return dotsPerInch > 0 ? 1440.0f / static_cast<float>(dotsPerInch) : 15.0f;
}

}  // namespace

void Win32FormsRuntime::ShowModal(ui::Form& form) {
    std::unique_ptr<FormView> view = MakeView(form, *this);
    if (!view) raise(ErrorKind::HostFailure, Describe(form) + " is not available in this build yet");

    const WindowClass windowClass(&WindowProc);
    try {
        Load(form);
        if (!form.Loaded()) return;
        ShownForm shown{*this, form, *view};  // outlives the window that points to it
        // The maker owns the controls' fonts: made before the window, so
        // that the window and its controls go first.
        std::optional<ControlMaker> maker;
        const float tx = TwipsPerPixelX();
        const float ty = TwipsPerPixelY();
        const UniqueWindow owner = HiddenOwner();
        UniqueWindow window(CreateWindowExW(
            WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, dialog::kFormClass, Utf16(form.Caption()).c_str(),
            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, Pixels(form.Left(), tx), Pixels(form.Top(), ty),
            Pixels(form.Width(), tx), Pixels(form.Height(), ty), owner.get(), nullptr, ThisModule(), nullptr));
        if (!window) RaiseSystemError("the window of " + Describe(form) + " cannot be created");
        shownWindows_.emplace_back(&form, window.get());
        struct ShowEnds {
            std::vector<std::pair<const ui::Form*, HWND>>& shown;
            ~ShowEnds() { shown.pop_back(); }
        } showEnds{shownWindows_};
        const ThreadWindowsDisabled othersDisabled(window.get());
        maker.emplace(window.get(), tx, ty);
        view->Create(*maker);
        SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&shown));

        set_visible(form, true);
        ShowWindow(window.get(), SW_SHOWNORMAL);
        form.Form_Activate();
        if (HWND first = view->FirstControl()) SetFocus(first);
        form.Form_Shown();

        MSG message{};
        while (form.Visible()) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == -1) RaiseSystemError("the message loop of " + Describe(form) + " failed");
            if (got == 0) {
                // The application is quitting: the dialog closes and the
                // quit goes on to the loop of whoever runs beneath.
                PostQuitMessage(static_cast<int>(message.wParam));
                Unload(form);
                break;
            }
            Dispatch(message, window.get());
        }
        // No message may reach the view once the show is over.
        SetWindowLongPtrW(window.get(), GWLP_USERDATA, 0);
    } catch (...) {
        // The original failure matters more than one met while unloading.
        try {
            Unload(form);
        } catch (...) {
        }
        throw;
    }
}

// A message sent from another thread (a click a tool sends) runs inside
// GetMessageW, which goes on waiting after it: a posted message wakes the
// modal loop to see that its form has closed.
void Win32FormsRuntime::Hide(ui::Form& form) {
    FormsRuntime::Hide(form);
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void Win32FormsRuntime::Unload(ui::Form& form) {
    FormsRuntime::Unload(form);
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void Win32FormsRuntime::DoEvents() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message, nullptr);
    }
}

void Win32FormsRuntime::Dispatch(MSG& message, HWND dialog) {
    if (!dialog || !IsDialogMessageW(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (pendingFailure_) std::rethrow_exception(std::exchange(pendingFailure_, nullptr));
}

LRESULT CALLBACK Win32FormsRuntime::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* shown = reinterpret_cast<ShownForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!shown) return DefWindowProcW(window, message, wParam, lParam);
    std::optional<LRESULT> answer;
    shown->runtime.Guard([&] {
        answer = shown->view.Handle(message, wParam, lParam);
        // Closing the window unloads its form, as the form's own close does.
        if (!answer && message == WM_CLOSE) {
            shown->runtime.Unload(shown->form);
            answer = 0;
        }
    });
    return answer ? *answer : DefWindowProcW(window, message, wParam, lParam);
}

void Win32FormsRuntime::Guard(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        // The first failure is the one the person's action caused.
        if (!pendingFailure_) pendingFailure_ = std::current_exception();
    }
}

bool Win32FormsRuntime::WorkArea(ui::Rect& area) {
    RECT work{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        area = {};
        return false;
    }
    area = {work.left, work.top, work.right, work.bottom};
    return true;
}

bool Win32FormsRuntime::ScreenSize(std::int32_t& widthPx, std::int32_t& heightPx) {
    widthPx = GetSystemMetrics(SM_CXSCREEN);
    heightPx = GetSystemMetrics(SM_CYSCREEN);
    return widthPx > 0 && heightPx > 0;
}

float Win32FormsRuntime::TwipsPerPixelX() { return TwipsPerPixel(LOGPIXELSX); }

float Win32FormsRuntime::TwipsPerPixelY() { return TwipsPerPixel(LOGPIXELSY); }

int Win32FormsRuntime::MsgBox(const std::string& text, int style, const std::string& title) {
    const std::wstring caption = title.empty() ? dialog::kUntitledMessageCaption : Utf16(title);
    const UniqueWindow owner = HiddenOwner();
    const ThreadWindowsDisabled othersDisabled(owner.get());
    return MessageBoxW(owner.get(), Utf16(text).c_str(), caption.c_str(), static_cast<UINT>(style));
}

HWND Win32FormsRuntime::WindowOf(const ui::Form& form) const {
    for (auto shown = shownWindows_.rbegin(); shown != shownWindows_.rend(); ++shown)
        if (shown->first == &form) return shown->second;
    return nullptr;
}

std::string Win32FormsRuntime::PopupMenu(ui::Form& owner, const std::vector<ui::MenuEntry>& entries) {
    // A menu the system cannot make or show is a menu the person dismissed:
    // nothing changes and they may try again, rather than losing the whole
    // dialog to a failure.
    HWND window = WindowOf(owner);
    if (!window) return {};
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) return {};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ui::MenuEntry& entry = entries[i];
        // Entry i answers i + 1: TrackPopupMenu's 0 means nothing picked.
        const BOOL added =
            entry.separator()
                ? AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr)
                : AppendMenuW(menu.get(),
                              MF_STRING | (entry.enabled ? MF_ENABLED : MF_GRAYED) |
                                  (entry.checked ? MF_CHECKED : MF_UNCHECKED),
                              i + 1, Utf16(entry.caption).c_str());
        if (!added) return {};
    }
    POINT at{};
    GetCursorPos(&at);
    const int picked = static_cast<int>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                       at.x, at.y, 0, window, nullptr));
    if (picked < 1 || static_cast<std::size_t>(picked) > entries.size()) return {};
    return entries[static_cast<std::size_t>(picked) - 1].name;
}

std::intptr_t Win32FormsRuntime::ShellOpen(const std::string& target) {
    // The wide call, so that a target outside the user's code page survives;
    // no verb, so that the target's default action runs.
    return reinterpret_cast<std::intptr_t>(
        ShellExecuteW(nullptr, nullptr, Utf16(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

}  // namespace bm::win32
