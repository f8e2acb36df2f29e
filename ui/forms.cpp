#include "ui/forms.h"

namespace bm::ui {

void FormsRuntime::Load(Form& form) {
    if (form.Loaded()) return;
    set_loaded(form, true);
    form.Form_Load();
}

void FormsRuntime::Hide(Form& form) { set_visible(form, false); }

void FormsRuntime::Unload(Form& form) {
    if (!form.Loaded()) return;
    set_visible(form, false);
    set_loaded(form, false);
    form.Form_Unload();
}

}  // namespace bm::ui
