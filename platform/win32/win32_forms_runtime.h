#pragma once

// The forms runtime on the Windows desktop: real windows with a modal
// message loop, message boxes, the work area and the screen's resolution.
// A form's window lives as long as its modal show: hiding or unloading the
// form ends the show, and the window goes with it. For now the runtime
// shows the interlude form only; a modal show of any other dialog fails
// with a HostFailure saying so, and popup menus pick nothing.

#include <windows.h>

#include <exception>

#include "ui/forms.h"

namespace bm::win32 {

class Win32FormsRuntime : public ui::FormsRuntime {
public:
    void ShowModal(ui::Form& form) override;
    void DoEvents() override;

    bool WorkArea(ui::Rect& area) override;
    bool ScreenSize(std::int32_t& widthPx, std::int32_t& heightPx) override;
    float TwipsPerPixelX() override;
    float TwipsPerPixelY() override;

    int MsgBox(const std::string& text, int style, const std::string& title) override;
    std::string PopupMenu(ui::Form& owner, const std::vector<ui::MenuEntry>& entries) override;
    std::intptr_t ShellOpen(const std::string& target) override;

private:
    // What a form's window procedure reaches through the window.
    struct ShownForm {
        Win32FormsRuntime& runtime;
        ui::Form& form;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs one message; a failure inside the window procedure is carried
    // out of it and raised here, as no exception may unwind through the
    // system's frames.
    void Dispatch(MSG& message, HWND dialog);

    std::exception_ptr pendingFailure_;
};

}  // namespace bm::win32
