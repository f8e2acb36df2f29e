#include "settings/frm_options.h"

#include "core/convert.h"
#include "ui/frm_about.h"
#include "ui/logo.h"
#include "ui/mod_utility.h"
#include "ui/pic_blt.h"

namespace bm {

namespace {

const ui::Font kFrameFont{"Tahoma", 8.25f, false, false};
const ui::Font kOptionFont{"Verdana", 8.25f, false, false};
const ui::Font kNoteFont{"MS Sans Serif", 8.25f, true, false};

ui::CheckBox Check(const char* caption, ui::Place place, ui::Font font = {}) {
    ui::CheckBox box;
    box.caption = caption;
    box.place = place;
    box.font = font;
    return box;
}

ui::DropDownList PrecisionList(float top) {
    ui::DropDownList list;
    list.place = {3810, top, 585, 315};
    list.entries = {"0", "1", "2", "3", "4", "5", "6", "7", "8"};
    return list;
}

// A setting shown in a control: a 32-bit value the 16-bit control cannot
// hold is an overflow.
std::int16_t ControlValue(std::int32_t setting) {
    return round_to_integer(static_cast<double>(setting));
}

// The settings shown by each row of the physical frame, in row order.
constexpr std::array<std::array<Settings::Field, 3>, 3> kPhysicalRows{{
    {Settings::kMass, Settings::kMassZero, Settings::kMassPrec},
    {Settings::kArea, Settings::kAreaZero, Settings::kAreaPrec},
    {Settings::kVolume, Settings::kVolumeZero, Settings::kVolumePrec},
}};

}  // namespace

frmOptions::frmOptions(ui::FormsRuntime& runtime, ui::Raster& raster,
                       std::function<Settings&()> addInInstance)
    : PaintedForm(runtime, raster),
      Frame1{" General  ", {60, 60, 5355, 2145}, kFrameFont},
      chkOption{
          Check("&Update custom properties on drawing file activation", {150, 300, 5115, 285}, kOptionFont),
          Check("Up&date existing custom drawing properties only", {150, 660, 5115, 285}, kOptionFont),
          Check("&Preface custom drawing property with model name", {150, 1020, 5115, 285}, kOptionFont),
          Check("Allo&w user selection of custom properties on copy", {150, 1380, 5115, 285}, kOptionFont),
          Check("D&elete existing custom drawing properties before copy", {150, 1740, 5115, 285},
                kOptionFont)},
      Frame2{"Physical Properties (First Model Only)", {60, 2370, 5355, 2055}, kFrameFont},
      chkPhysical{Check("Copy &Mass", {150, 300, 1515, 285}), Check("Copy &Area", {150, 660, 1515, 285}),
                  Check("Copy &Volume", {150, 1020, 1515, 285})},
      chkZero{Check("Delete Leading Zero", {1800, 300, 1785, 285}),
              Check("Delete Leading Zero", {1800, 660, 1785, 285}),
              Check("Delete Leading Zero", {1800, 1020, 1785, 285})},
      cboPrec{PrecisionList(270), PrecisionList(630), PrecisionList(990)},
      Label1{ui::Label{"Precision", {4440, 330, 735, 225}}, ui::Label{"Precision", {4440, 690, 735, 225}},
             ui::Label{"Precision", {4440, 1050, 735, 225}}},
      Label2{"Assembly area = sum of all assembly component areas", {90, 1470, 5175, 255}, kNoteFont},
      Label3{"Assembly volume = sum of all assembly component volumes", {90, 1740, 5175, 255}, kNoteFont},
      cmdOK{"&OK", {5520, 150, 1215, 375}, true, false},
      cmdCancel{"&Cancel", {5520, 630, 1215, 375}, false, true},
      picViz(*this, "picViz", {5730, 1200, 855, 840}, true),
      picQuillfern(*this, "picQuillfern", {5700, 2520, 855, 840}, false, ui::Logo()),
      addInInstance_(std::move(addInInstance)) {
    SetClientSize(6870, 4515);
}

void frmOptions::Form_Load() {
    ui::CenterForm(*this, Runtime());
    const Settings& settings = addInInstance_();
    for (int i = 0; i < 5; ++i)
        chkOption[i].Value(ControlValue(settings.get(static_cast<Settings::Field>(i))));
    for (int row = 0; row < 3; ++row) chkPhysical[row].Value(ControlValue(settings.get(kPhysicalRows[row][0])));
    for (int row = 0; row < 3; ++row) chkZero[row].Value(ControlValue(settings.get(kPhysicalRows[row][1])));
    for (int row = 0; row < 3; ++row) cboPrec[row].ListIndex(ControlValue(settings.get(kPhysicalRows[row][2])));
}

void frmOptions::Form_Activate() {
    ui::BlitPicture(ui::kBlitTransparent, *this, picQuillfern, picViz, ui::kKeyGreen);
}

void frmOptions::cmdOK_Click() {
    Settings& settings = addInInstance_();
    for (int i = 0; i < 5; ++i) settings.put(static_cast<Settings::Field>(i), chkOption[i].Value());
    for (int row = 0; row < 3; ++row) {
        settings.put(kPhysicalRows[row][0], chkPhysical[row].Value());
        settings.put(kPhysicalRows[row][1], chkZero[row].Value());
        settings.put(kPhysicalRows[row][2], cboPrec[row].ListIndex());
    }
    Runtime().Unload(*this);
}

void frmOptions::cmdCancel_Click() { Runtime().Unload(*this); }

void frmOptions::picViz_Click() {
    ui::frmAbout about(Runtime(), Graphics());
    Runtime().ShowModal(about);
}

}  // namespace bm
