#pragma once

// The options dialog: the fourteen settings as check boxes and precision
// lists. It reads the add-in object's settings when it loads and writes all
// of them back on OK; Cancel and every other way of closing write nothing.
// It touches no registry and no host object. A click on the logo opens the
// About box.

#include <array>
#include <functional>

#include "settings/settings.h"
#include "ui/controls.h"
#include "ui/raster.h"

namespace bm {

class frmOptions : public ui::PaintedForm {
public:
    // `addInInstance` answers the live add-in object's settings when the
    // dialog needs them (it fails when there is none).
    frmOptions(ui::FormsRuntime& runtime, ui::Raster& raster,
               std::function<Settings&()> addInInstance);

    // The window caption, by which a person (or a driver) knows the dialog.
    static constexpr const char* kCaption = " Brindlemark Options";
    std::string Caption() const override { return kCaption; }
    std::string Kind() const override { return "options"; }

    ui::Frame Frame1;
    std::array<ui::CheckBox, 5> chkOption;
    ui::Frame Frame2;
    std::array<ui::CheckBox, 3> chkPhysical;  // mass, area, volume
    std::array<ui::CheckBox, 3> chkZero;
    std::array<ui::DropDownList, 3> cboPrec;
    std::array<ui::Label, 3> Label1;
    ui::Label Label2;
    ui::Label Label3;
    ui::Button cmdOK;      // the default button
    ui::Button cmdCancel;  // the cancel button
    ui::PictureBox picViz;        // the logo is painted here on every activation
    ui::PictureBox picQuillfern;  // hidden; holds the logo

    void Form_Load() override;
    void Form_Activate() override;
    void cmdOK_Click();
    void cmdCancel_Click();
    void picViz_Click();
    void PressEnter() { cmdOK_Click(); }
    void PressEscape() { cmdCancel_Click(); }
    void CloseBox() { Runtime().Unload(*this); }

private:
    std::function<Settings&()> addInInstance_;
};

}  // namespace bm
