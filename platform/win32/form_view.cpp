#include "platform/win32/form_view.h"

#include <cmath>

#include "core/error.h"
#include "platform/win32/com/text.h"
#include "platform/win32/this_module.h"

namespace bm::win32 {

ControlMaker::ControlMaker(HWND form, float twipsPerPixelX, float twipsPerPixelY)
    : form_(form), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {}

// The controls go with the form's window before the maker does, so no
// control is left drawing with a deleted font.
ControlMaker::~ControlMaker() = default;

int ControlMaker::PixelsX(float twips) const { return static_cast<int>(std::lround(twips / tppX_)); }

int ControlMaker::PixelsY(float twips) const { return static_cast<int>(std::lround(twips / tppY_)); }

RECT ControlMaker::Pixels(const ui::Place& place) const {
    const int left = PixelsX(place.left);
    const int top = PixelsY(place.top);
    return {left, top, left + PixelsX(place.width), top + PixelsY(place.height)};
}

HFONT ControlMaker::FontOf(const ui::Font& font) {
    for (auto& [made, handle] : fonts_)
        if (made.name == font.name && made.points == font.points && made.bold == font.bold &&
            made.underline == font.underline)
            return handle.get();
    const int dotsPerInch = [] {
        const UniqueWindowDc screen = WindowDc(nullptr);
        return screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    }();
    const int height = -static_cast<int>(std::lround(font.points * static_cast<float>(dotsPerInch) / 72.0f));
    HFONT handle = CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, font.underline ? TRUE : FALSE,
                               FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, Utf16(font.name).c_str());
    // The desktop's dialog font stands in for one the system cannot make.
    if (!handle) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts_.emplace_back(font, UniqueFont(handle));
    return handle;
}

HWND ControlMaker::Make(const wchar_t* windowClass, const std::string& caption, const ui::Place& place, DWORD style,
                        int id, const ui::Font& font, DWORD extendedStyle) {
    const RECT r = Pixels(place);
    HWND control = CreateWindowExW(extendedStyle, windowClass, Utf16(caption).c_str(), WS_CHILD | WS_VISIBLE | style,
                                   r.left, r.top, r.right - r.left, r.bottom - r.top, form_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
    if (!control)
        raise(ErrorKind::HostFailure,
              "a control of the dialog cannot be created (system error " + std::to_string(GetLastError()) + ")");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(font)), FALSE);
    return control;
}

HWND ControlMaker::Button(const ui::Button& button, int id) {
    return Make(L"BUTTON", button.caption, button.place,
                WS_TABSTOP | (button.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), id, {});
}

HWND ControlMaker::Label(const ui::Label& label, int id) {
    return Make(L"STATIC", label.caption, label.place, SS_LEFT | (label.link ? SS_NOTIFY : 0), id, label.font);
}

std::unique_ptr<FormView> MakeView(ui::Form& form, Win32FormsRuntime& runtime) {
    for (auto make : {&MakeInterludeView, &MakeOptionsView, &MakeAboutView, &MakeFilesView})
        if (auto view = make(form, runtime)) return view;
    return nullptr;
}

}  // namespace bm::win32
