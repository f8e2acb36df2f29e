#pragma once

// A dialog model shown as a window: the view makes the form's controls as
// real child windows, turns what they report (clicks, choices, paint
// requests) into calls of the model's handlers, and shows the model's state
// again after each. One view class per dialog kind, each in its own file;
// MakeView picks the one for a form.
//
// Views run inside the window procedure: a failure they raise is carried
// out by the runtime and raised from the modal show, never through the
// system's frames.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/com/unique_any.h"
#include "ui/forms.h"

namespace bm::win32 {

class Win32FormsRuntime;

// Makes child windows at the model's places, in twips, with the model's
// fonts; it owns the fonts it makes.
class ControlMaker {
public:
    ControlMaker(HWND form, float twipsPerPixelX, float twipsPerPixelY);
    ~ControlMaker();
    ControlMaker(const ControlMaker&) = delete;
    ControlMaker& operator=(const ControlMaker&) = delete;

    int PixelsX(float twips) const;
    int PixelsY(float twips) const;
    RECT Pixels(const ui::Place& place) const;

    // A child of the form. Fails with a HostFailure when the system will
    // not make it.
    HWND Make(const wchar_t* windowClass, const std::string& caption, const ui::Place& place, DWORD style,
              int id, const ui::Font& font, DWORD extendedStyle = 0);
    HWND Button(const ui::Button& button, int id);
    HWND Label(const ui::Label& label, int id = -1);
    // A font like `font` (kept while the maker lives).
    HFONT FontOf(const ui::Font& font);

    HWND Form() const { return form_; }

private:
    HWND form_;
    float tppX_, tppY_;
    std::vector<std::pair<ui::Font, UniqueFont>> fonts_;
};

class FormView {
public:
    virtual ~FormView() = default;

    // Makes the controls on the form's window.
    virtual void Create(ControlMaker& maker) = 0;
    // The control that has the focus when the window comes up.
    virtual HWND FirstControl() const = 0;
    // A message of the form's window, before the system's own handling;
    // nullopt lets it through. WM_COMMAND with kOk and kCancel, WM_CLOSE
    // (the close box) and WM_NOTIFY arrive here.
    virtual std::optional<LRESULT> Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The view of `form`, or null for a dialog this build cannot show.
std::unique_ptr<FormView> MakeView(ui::Form& form, Win32FormsRuntime& runtime);

// One per dialog kind; each answers null for a form of another kind.
std::unique_ptr<FormView> MakeInterludeView(ui::Form& form, Win32FormsRuntime& runtime);
std::unique_ptr<FormView> MakeOptionsView(ui::Form& form, Win32FormsRuntime& runtime);
std::unique_ptr<FormView> MakeAboutView(ui::Form& form, Win32FormsRuntime& runtime);
std::unique_ptr<FormView> MakeFilesView(ui::Form& form, Win32FormsRuntime& runtime);

}  // namespace bm::win32
