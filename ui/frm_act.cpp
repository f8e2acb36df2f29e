#include "ui/frm_act.h"

namespace bm::ui {

frmAct::frmAct(FormsRuntime& runtime) : Form(runtime) { SetClientSize(1335, 390); }

void frmAct::Command1_GotFocus() { Runtime().Unload(*this); }

}  // namespace bm::ui
