#pragma once

// The selection dialog: the referenced models and their custom properties in
// a two-level outline with check marks, and a popup menu of list commands.
//
// The copy engine owns the rows: it creates the dialog, fills the grid with
// AddModelRow/AddPropertyRow, folds the outline, shows the dialog modally and
// reads the rows back. OK hides the dialog so the rows stay readable; Cancel
// and the close box unload it, which discards every row. The dialog itself
// only changes check marks, what model rows show, and the outline's folding.
//
// The dialog counts rows with 16-bit integers: a grid of more than 32,767
// rows is an Overflow wherever the dialog counts, and the row helpers refuse
// to add the row that would get there, so the person never meets a dialog
// that fails on every click.

#include <cstdint>
#include <string>

#include "core/convert.h"
#include "core/variant.h"
#include "select/menu_control.h"
#include "select/outline_grid.h"
#include "ui/forms.h"
#include "ui/raster.h"

namespace bm::select {

// Indices of the dialog's icons (imgCell), as the grid's pictures name them.
enum CellIcon : std::int16_t {
    kIconAssembly = 0,
    kIconPart = 1,
    kIconProperty = 2,
    kIconPresentation = 3,
};

// Mouse buttons as the grid's mouse events report them.
inline constexpr std::int16_t kLeftButton = 1;
inline constexpr std::int16_t kRightButton = 2;
inline constexpr std::int16_t kMiddleButton = 4;

// The most rows the dialog's counters reach.
inline constexpr std::int32_t kMaxRows = kMaxCount16;

class frmFiles : public ui::Form {
public:
    explicit frmFiles(ui::FormsRuntime& runtime);

    // The window caption, by which a person (or a driver) knows the dialog.
    static constexpr const char* kCaption = " Referenced Files";
    std::string Caption() const override { return kCaption; }
    std::string Kind() const override { return "files"; }

    // The controls. Touching the grid or the menu loads the form.
    OutlineGrid& fgFiles();
    MenuControl& abMenu();
    // The picture behind a grid picture index; InvalidArgument for none.
    const ui::Image& imgCell(std::int16_t index) const;
    const ui::Label Label1{"Select Custom Properties", {150, 120, 3675, 225}};
    // Where the grid sits; its text is in the default dialog font.
    const ui::Place fgFilesPlace{90, 390, 7545, 3675};
    const ui::Button cmdOK{"&OK", {5100, 4170, 1215, 375}, true, false};
    const ui::Button cmdCancel{"&Cancel", {6390, 4170, 1215, 375}, false, true};

    // Filling, for the copy engine: each adds the row after the last one,
    // checked. A model row keeps the full file name hidden in column 0 and
    // the name hidden in column 2 (which is what marks it as a model row);
    // its icon follows the document kind. A property row keeps its value
    // hidden in column 1 with its type.
    void AddModelRow(const std::string& name, const std::string& fullName, std::int32_t docKind);
    void AddPropertyRow(const std::string& name, const Variant& value);

    // Reading, for the copy engine, in the dialog's 16-bit count.
    std::int16_t RowCount();
    // A model row is one whose column 2 holds hidden data.
    bool IsModelRow(std::int32_t row);
    // The model's name kept in the row, whatever the row shows.
    std::string ModelName(std::int32_t row);
    bool IsRowChecked(std::int32_t row);
    // What column 2 shows: " " + the property's name on a property row.
    std::string RowText(std::int32_t row);
    // The property's value on a property row.
    Variant RowValue(std::int32_t row);

    // Handlers.
    void Form_Load() override;
    void Form_Unload() override;
    // The grid's row event (a double-click): flips the current row's mark.
    void fgFiles_DblClick();
    void fgFiles_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void abMenu_ToolClick(const std::string& toolName);
    void cmdOK_Click();
    void cmdCancel_Click();
    // The window's close box.
    void CloseBox();
    void PressEnter();
    void PressEscape();

private:
    void SyncChecks(std::int32_t row);
    void SetModelCaptions(std::int16_t sourceColumn);
    void CheckSelected(bool checked);
    std::int32_t AddRow(const std::string& tabText);
    bool modelRow(std::int32_t row) const;

    OutlineGrid grid_;
    MenuControl menu_;
};

}  // namespace bm::select
