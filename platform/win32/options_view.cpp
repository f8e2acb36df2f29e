// The options dialog: the fourteen settings as three-state check boxes and
// drop-down lists in two frames, OK and Cancel, and the logo, whose click
// opens the About box over the dialog.

#include <windows.h>

#include <commctrl.h>

#include "platform/win32/dialog_controls.h"
#include "platform/win32/form_view.h"
#include "platform/win32/gdi_raster.h"
#include "platform/win32/com/text.h"
#include "settings/frm_options.h"

namespace bm::win32 {

namespace {

// The model places the controls of a frame on the frame; the window places
// them on the form.
ui::Place Inside(const ui::Frame& frame, ui::Place place) {
    place.left += frame.place.left;
    place.top += frame.place.top;
    return place;
}

// Keeps the dialog disabled while another modal dialog runs over it, so
// that nothing of it can be pressed meanwhile; on the way out it takes the
// activation and the focus back.
class Beneath {
public:
    explicit Beneath(HWND window) : window_(window), focus_(GetFocus()) { EnableWindow(window_, FALSE); }
    ~Beneath() {
        EnableWindow(window_, TRUE);
        SetActiveWindow(window_);
        if (focus_ && IsWindow(focus_)) SetFocus(focus_);
    }
    Beneath(const Beneath&) = delete;
    Beneath& operator=(const Beneath&) = delete;

private:
    HWND window_;
    HWND focus_;
};

// A group box draws its line and caption only; its inside, which the form
// (clipping its children) leaves alone, is filled here in the form's colour.
LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR color) {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT inside{};
            GetClientRect(frame, &inside);
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetDCBrushColor(dc, static_cast<COLORREF>(color));
            FillRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
            return 1;
        }
        case WM_NCDESTROY: RemoveWindowSubclass(frame, &FrameProc, 0); break;
        default: break;
    }
    return DefSubclassProc(frame, message, wParam, lParam);
}

class OptionsView : public FormView {
public:
    OptionsView(frmOptions& form, GdiRaster& raster) : form_(form), raster_(raster) {}

    void Create(ControlMaker& maker) override {
        window_ = maker.Form();
        raster_.Attach(form_, window_);
        // Made in the dialog's tab order.
        for (int i = 0; i < 5; ++i) {
            HWND box = Check(maker, form_.chkOption[i], form_.Frame1, dialog::kGeneralOption + i);
            if (i == 0) first_ = box;
        }
        maker.Button(form_.cmdOK, dialog::kOk);
        maker.Button(form_.cmdCancel, dialog::kCancel);
        Frame(maker, form_.Frame1);
        raster_.Attach(form_.picQuillfern, maker.Make(dialog::kPictureClass, "", form_.picQuillfern.place, 0, -1, {}));
        raster_.Attach(form_.picViz,
                       maker.Make(dialog::kPictureClass, "", form_.picViz.place, 0, dialog::kOptionsLogo, {}));
        Frame(maker, form_.Frame2);
        Check(maker, form_.chkPhysical[0], form_.Frame2, dialog::kCopyPhysical);
        Check(maker, form_.chkPhysical[1], form_.Frame2, dialog::kCopyPhysical + 1);
        List(maker, 0);
        Check(maker, form_.chkZero[0], form_.Frame2, dialog::kDeleteZero);
        Label(maker, form_.Label1[0]);
        Check(maker, form_.chkZero[1], form_.Frame2, dialog::kDeleteZero + 1);
        Label(maker, form_.Label1[1]);
        List(maker, 1);
        Label(maker, form_.Label1[2]);
        List(maker, 2);
        Check(maker, form_.chkPhysical[2], form_.Frame2, dialog::kCopyPhysical + 2);
        Check(maker, form_.chkZero[2], form_.Frame2, dialog::kDeleteZero + 2);
        Label(maker, form_.Label2);
        Label(maker, form_.Label3);
    }

    HWND FirstControl() const override { return first_; }

    std::optional<LRESULT> Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_COMMAND: return Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            case WM_CTLCOLORSTATIC:
                return reinterpret_cast<LRESULT>(raster_.ControlColors(form_, reinterpret_cast<HDC>(wParam)));
            case WM_CLOSE: form_.CloseBox(); return 0;
            default: return std::nullopt;
        }
    }

private:
    std::optional<LRESULT> Command(int id, int code, HWND control) {
        if (id == dialog::kOk) {
            form_.PressEnter();
            return 0;
        }
        if (id == dialog::kCancel) {
            form_.PressEscape();
            return 0;
        }
        if (id == dialog::kOptionsLogo && code == STN_CLICKED) {
            {
                const Beneath about(window_);
                form_.picViz_Click();
            }
            // Active again: the logo is painted anew.
            if (form_.Visible()) form_.Form_Activate();
            return 0;
        }
        if (code == BN_CLICKED) {
            if (ui::CheckBox* box = CheckOf(id)) {
                // The box shows what the model made of the click.
                box->Click();
                SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(box->Value()), 0);
                return 0;
            }
        }
        if (code == CBN_SELCHANGE && id >= dialog::kPrecision && id < dialog::kPrecision + 3) {
            const LRESULT chosen = SendMessageW(control, CB_GETCURSEL, 0, 0);
            form_.cboPrec[id - dialog::kPrecision].ListIndex(static_cast<std::int16_t>(chosen));
            return 0;
        }
        return std::nullopt;
    }

    ui::CheckBox* CheckOf(int id) {
        if (id >= dialog::kGeneralOption && id < dialog::kGeneralOption + 5)
            return &form_.chkOption[id - dialog::kGeneralOption];
        if (id >= dialog::kCopyPhysical && id < dialog::kCopyPhysical + 3)
            return &form_.chkPhysical[id - dialog::kCopyPhysical];
        if (id >= dialog::kDeleteZero && id < dialog::kDeleteZero + 3) return &form_.chkZero[id - dialog::kDeleteZero];
        return nullptr;
    }

    // A box a click does not tick by itself: the model says what it shows,
    // greyed included.
    static HWND Check(ControlMaker& maker, const ui::CheckBox& box, const ui::Frame& frame, int id) {
        HWND control = maker.Make(L"BUTTON", box.caption, Inside(frame, box.place), WS_TABSTOP | BS_3STATE, id, box.font);
        SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(box.Value()), 0);
        return control;
    }

    void List(ControlMaker& maker, int row) {
        const ui::DropDownList& list = form_.cboPrec[row];
        // The window's height includes the opened list: room for every entry.
        ui::Place place = Inside(form_.Frame2, list.place);
        place.height *= static_cast<float>(list.entries.size() + 1);
        HWND control = maker.Make(L"COMBOBOX", "", place, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                  dialog::kPrecision + row, {});
        for (const std::string& entry : list.entries)
            SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf16(entry).c_str()));
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(list.ListIndex()), 0);
    }

    // Beneath every other control, and clipped by them: filling its inside
    // leaves the controls in the frame as they are.
    void Frame(ControlMaker& maker, const ui::Frame& frame) {
        HWND box = maker.Make(L"BUTTON", frame.caption, frame.place, BS_GROUPBOX | WS_CLIPSIBLINGS, -1, frame.font);
        SetWindowSubclass(box, &FrameProc, 0, static_cast<DWORD_PTR>(form_.backColor));
        SetWindowPos(box, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    void Label(ControlMaker& maker, ui::Label label) {
        label.place = Inside(form_.Frame2, label.place);
        maker.Label(label);
    }

    frmOptions& form_;
    GdiRaster& raster_;
    HWND window_ = nullptr;
    HWND first_ = nullptr;
};

}  // namespace

std::unique_ptr<FormView> MakeOptionsView(ui::Form& form, Win32FormsRuntime&) {
    auto* options = dynamic_cast<frmOptions*>(&form);
    return options ? std::make_unique<OptionsView>(*options, DesktopRaster(*options)) : nullptr;
}

}  // namespace bm::win32
