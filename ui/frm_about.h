#pragma once

// The About box: the logo, the product and maker names, a mail link for
// comments and a disclaimer. It is opened from the options dialog, a new
// instance for each click, and unloads itself on OK (Enter and Escape both
// press OK).
//
// Like every dialog that paints pictures, it is made with the forms runtime
// that shows it and the raster that paints it:
//     frmAbout about(runtime, raster);
//     runtime.ShowModal(about);

#include <string>

#include "ui/forms.h"
#include "ui/raster.h"

namespace bm::ui {

inline constexpr const char* kProductName = "Brindlemark";
inline constexpr const char* kMakerName = "Quillfern";
inline constexpr const char* kSupportAddress = "support@quillfern.example";

class frmAbout : public PaintedForm {
public:
    frmAbout(FormsRuntime& runtime, Raster& raster);

    // The window caption, by which a person (or a driver) knows the dialog.
    static constexpr const char* kCaption = " About Brindlemark";
    std::string Caption() const override { return kCaption; }
    std::string Kind() const override { return "about"; }

    // The controls (twips on the client area).
    PictureBox picViz;        // the logo is painted here on every activation
    PictureBox picQuillfern;  // hidden; holds the logo
    const Label lblTitle;
    const Label lblMaker;
    const Label Label3;
    const Label lblEmail;     // a link to kSupportAddress
    const Label Label1;
    const Button cmdOK;       // the default and the cancel button

    // Handlers.
    void Form_Load() override;
    void Form_Activate() override;
    void cmdOK_Click();
    void lblEmail_Click();
    void PressEnter() { cmdOK_Click(); }
    void PressEscape() { cmdOK_Click(); }
};

}  // namespace bm::ui
