#pragma once

// The forms runtime on the Windows desktop: real windows with a modal
// message loop, message boxes, the work area and the screen's resolution.
// A form's window lives as long as its modal show: hiding or unloading the
// form ends the show, and the window goes with it. Each dialog kind has its
// view (form_view.h); a modal show of a form without one fails with a
// HostFailure saying so.

#include <windows.h>

#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "ui/forms.h"

namespace bm::win32 {

class FormView;

class Win32FormsRuntime : public ui::FormsRuntime {
public:
    void ShowModal(ui::Form& form) override;
    void Hide(ui::Form& form) override;
    void Unload(ui::Form& form) override;
    void DoEvents() override;

    bool WorkArea(ui::Rect& area) override;
    bool ScreenSize(std::int32_t& widthPx, std::int32_t& heightPx) override;
    float TwipsPerPixelX() override;
    float TwipsPerPixelY() override;

    int MsgBox(const std::string& text, int style, const std::string& title) override;
    std::string PopupMenu(ui::Form& owner, const std::vector<ui::MenuEntry>& entries) override;
    std::intptr_t ShellOpen(const std::string& target) override;

    // Runs a handler inside a window procedure: its failure is kept and
    // raised from the modal show once the message has been handled.
    void Guard(const std::function<void()>& handler) noexcept;

private:
    // What a form's window procedure reaches through the window.
    struct ShownForm {
        Win32FormsRuntime& runtime;
        ui::Form& form;
        FormView& view;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs one message; a failure inside the window procedure is carried
    // out of it and raised here, as no exception may unwind through the
    // system's frames.
    void Dispatch(MSG& message, HWND dialog);
    // The window of a form in a modal show; null when it is not shown.
    HWND WindowOf(const ui::Form& form) const;

    std::exception_ptr pendingFailure_;
    // The forms in modal shows with their windows, innermost last.
    std::vector<std::pair<const ui::Form*, HWND>> shownWindows_;
};

}  // namespace bm::win32
