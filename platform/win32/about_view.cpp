// The About box: the logo, the names, the mail link drawn as a link (the
// highlight colour, underlined by its font, a pointing hand over it) and
// one button that both Enter and Escape press.

#include "platform/win32/dialog_controls.h"
#include "platform/win32/form_view.h"
#include "platform/win32/gdi_raster.h"
#include "ui/frm_about.h"

namespace bm::win32 {

namespace {

class AboutView : public FormView {
public:
    AboutView(ui::frmAbout& form, GdiRaster& raster) : form_(form), raster_(raster) {}

    void Create(ControlMaker& maker) override {
        raster_.Attach(form_, maker.Form());
        raster_.Attach(form_.picViz,
                       maker.Make(dialog::kPictureClass, "", form_.picViz.place, 0, dialog::kAboutLogo, {}));
        raster_.Attach(form_.picQuillfern, maker.Make(dialog::kPictureClass, "", form_.picQuillfern.place, 0, -1, {}));
        for (const ui::Label* label : {&form_.lblTitle, &form_.lblMaker, &form_.Label3}) maker.Label(*label);
        link_ = maker.Label(form_.lblEmail, dialog::kMailLink);
        maker.Label(form_.Label1);
        ok_ = maker.Button(form_.cmdOK, dialog::kOk);
    }

    HWND FirstControl() const override { return ok_; }

    std::optional<LRESULT> Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_COMMAND: {
                const int id = LOWORD(wParam);
                // The one button is the default and the cancel button.
                if (id == dialog::kOk || id == dialog::kCancel) {
                    form_.cmdOK_Click();
                    return 0;
                }
                if (id == dialog::kMailLink && HIWORD(wParam) == STN_CLICKED) {
                    form_.lblEmail_Click();
                    return 0;
                }
                return std::nullopt;
            }
            case WM_CTLCOLORSTATIC: {
                HDC dc = reinterpret_cast<HDC>(wParam);
                HBRUSH brush = raster_.ControlColors(form_, dc);
                if (reinterpret_cast<HWND>(lParam) == link_) SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHT));
                return reinterpret_cast<LRESULT>(brush);
            }
            case WM_SETCURSOR:
                if (reinterpret_cast<HWND>(wParam) != link_) return std::nullopt;
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                return TRUE;
            default: return std::nullopt;
        }
    }

private:
    ui::frmAbout& form_;
    GdiRaster& raster_;
    HWND link_ = nullptr;
    HWND ok_ = nullptr;
};

}  // namespace

std::unique_ptr<FormView> MakeAboutView(ui::Form& form, Win32FormsRuntime&) {
    auto* about = dynamic_cast<ui::frmAbout*>(&form);
    return about ? std::make_unique<AboutView>(*about, DesktopRaster(*about)) : nullptr;
}

}  // namespace bm::win32
