// The interlude form: one button, which closes the form as soon as it has
// the focus.

#include "platform/win32/dialog_controls.h"
#include "platform/win32/form_view.h"
#include "ui/frm_act.h"

namespace bm::win32 {

namespace {

class InterludeView : public FormView {
public:
    explicit InterludeView(ui::frmAct& form) : form_(form) {}

    void Create(ControlMaker& maker) override { button_ = maker.Button(form_.Command1, dialog::kInterludeButton); }
    HWND FirstControl() const override { return button_; }
    std::optional<LRESULT> Handle(UINT, WPARAM, LPARAM) override { return std::nullopt; }

private:
    ui::frmAct& form_;
    HWND button_ = nullptr;
};

}  // namespace

std::unique_ptr<FormView> MakeInterludeView(ui::Form& form, Win32FormsRuntime&) {
    auto* interlude = dynamic_cast<ui::frmAct*>(&form);
    return interlude ? std::make_unique<InterludeView>(*interlude) : nullptr;
}

}  // namespace bm::win32
