#include "ui/frm_about.h"

#include "ui/logo.h"
#include "ui/mod_utility.h"
#include "ui/pic_blt.h"

namespace bm::ui {

frmAbout::frmAbout(FormsRuntime& runtime, Raster& raster)
    : PaintedForm(runtime, raster),
      picViz(*this, "picViz", {90, 30, 855, 840}, true),
      picQuillfern(*this, "picQuillfern", {4080, 180, 855, 840}, false, Logo()),
      lblTitle{kProductName, {1050, 120, 2745, 360}, {"Arial", 12, true, false}},
      lblMaker{kMakerName, {1050, 420, 2355, 225}},
      Label3{"Comments and suggestions to: ", {60, 900, 2205, 195}},
      lblEmail{kSupportAddress, {2340, 900, 1305, 195}, {"MS Sans Serif", 8.25f, false, true}, true},
      Label1{"The user of this software assumes all responsibility for any damage or loss of data resulting "
             "from its use.",
             {30, 1200, 3765, 435}},
      cmdOK{"&OK", {4080, 1290, 1260, 345}, true, true} {
    SetClientSize(5475, 1860);
}

void frmAbout::Form_Load() { CenterForm(*this, Runtime()); }

void frmAbout::Form_Activate() { BlitPicture(kBlitTransparent, *this, picQuillfern, picViz, kKeyGreen); }

void frmAbout::cmdOK_Click() { Runtime().Unload(*this); }

void frmAbout::lblEmail_Click() {
    const std::intptr_t result = Runtime().ShellOpen(std::string("mailto:") + kSupportAddress);
    // Values up to 32 are the shell's failure codes.
    if (result >= 0 && result <= 32) Runtime().MsgBox("Unable to open email program", kMsgBoxOkOnly, "");
}

}  // namespace bm::ui
