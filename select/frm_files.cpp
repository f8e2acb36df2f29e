#include "select/frm_files.h"

#include "core/convert.h"
#include "core/error.h"
#include "host/host.h"
#include "ui/logo.h"
#include "ui/mod_utility.h"

namespace bm::select {

namespace {

constexpr std::int32_t kCheckCol = 1;
constexpr std::int32_t kNameCol = 2;

std::string TextOf(const Variant& v) {
    return v.type() == VarType::kString ? v.as_string() : to_text(v);
}

bool HasData(const Variant& v) {
    return !v.is_empty() && !(v.type() == VarType::kString && v.as_string().empty());
}

std::int16_t ModelIcon(std::int32_t docKind) {
    switch (docKind) {
        case host::kAssemblyDocument: return kIconAssembly;
        case host::kPartDocument: return kIconPart;
        case host::kPresentationDocument: return kIconPresentation;
        default: return kNoPicture;
    }
}

}  // namespace

frmFiles::frmFiles(ui::FormsRuntime& runtime) : Form(runtime) { SetClientSize(7725, 4605); }

OutlineGrid& frmFiles::fgFiles() {
    Runtime().Load(*this);
    return grid_;
}

MenuControl& frmFiles::abMenu() {
    Runtime().Load(*this);
    return menu_;
}

const ui::Image& frmFiles::imgCell(std::int16_t index) const {
    const auto& icons = ui::SelectionIcons();
    if (index < 0 || static_cast<std::size_t>(index) >= icons.size())
        raise(ErrorKind::InvalidArgument, "no cell picture " + std::to_string(index));
    return icons[static_cast<std::size_t>(index)];
}

void frmFiles::Form_Load() {
    ui::CenterForm(*this, Runtime());

    GridDisplay& d = grid_.Display();
    d.outlineCol = kNameCol;
    d.treeLines = true;
    d.listBoxSelection = true;
    d.extendLastCol = true;
    d.gridLines = false;
    grid_.SetColWidth(0, 300);
    grid_.SetColWidth(kCheckCol, 300);

    menu_.Tools("miEName").style = kToolCheckable;
    menu_.RecalcLayout();
}

void frmFiles::Form_Unload() {
    // Unloading destroys the controls' contents: rows, menu states and the
    // caption mode all start anew if the form is loaded again.
    grid_ = OutlineGrid{};
    menu_ = MenuControl{};
}

// --- filling and reading -------------------------------------------------

std::int32_t frmFiles::AddRow(const std::string& tabText) {
    OutlineGrid& g = fgFiles();
    count16(g.Rows() + 1, "rows");
    g.AddItem(tabText);
    return g.Rows() - 1;
}

void frmFiles::AddModelRow(const std::string& name, const std::string& fullName,
                           std::int32_t docKind) {
    const std::int32_t r = AddRow("\t\t" + name);
    // A TAB inside the name would have cut it short in the row text.
    grid_.SetText(r, kNameCol, name);
    grid_.SetNode(r, true);
    grid_.SetOutlineLevel(r, 1);
    grid_.SetChecked(r, kCheckCol, true);
    grid_.SetData(r, 0, fullName);
    grid_.SetData(r, kNameCol, name);
    grid_.SetPicture(r, kNameCol, ModelIcon(docKind));
}

void frmFiles::AddPropertyRow(const std::string& name, const Variant& value) {
    const std::int32_t r = AddRow("\t\t " + name);
    grid_.SetText(r, kNameCol, " " + name);
    grid_.SetNode(r, false);
    grid_.SetOutlineLevel(r, 2);
    grid_.SetChecked(r, kCheckCol, true);
    grid_.SetData(r, kCheckCol, value);
    grid_.SetPicture(r, kNameCol, kIconProperty);
}

std::int16_t frmFiles::RowCount() { return count16(fgFiles().Rows(), "rows"); }

bool frmFiles::IsModelRow(std::int32_t row) {
    fgFiles();
    return modelRow(row);
}

std::string frmFiles::ModelName(std::int32_t row) { return TextOf(fgFiles().Data(row, kNameCol)); }

bool frmFiles::IsRowChecked(std::int32_t row) {
    return fgFiles().Checked(row, kCheckCol) == kChecked;
}

std::string frmFiles::RowText(std::int32_t row) { return fgFiles().Text(row, kNameCol); }

Variant frmFiles::RowValue(std::int32_t row) { return fgFiles().Data(row, kCheckCol); }

bool frmFiles::modelRow(std::int32_t row) const { return HasData(grid_.Data(row, kNameCol)); }

// --- check marks and captions --------------------------------------------

void frmFiles::fgFiles_DblClick() {
    const std::int32_t row = grid_.Row();
    if (row == -1) return;
    const bool wasChecked = grid_.Checked(row, kCheckCol) == kChecked;
    grid_.SetCheckMark(row, kCheckCol, wasChecked ? kUnchecked : kChecked);
    SyncChecks(row);
}

void frmFiles::SyncChecks(std::int32_t row) {
    const std::int16_t rows = count16(grid_.Rows(), "rows");
    if (modelRow(row)) {
        const std::int16_t mark = grid_.Checked(row, kCheckCol);
        for (std::int32_t r = row + 1; r < rows && !modelRow(r); ++r)
            grid_.SetCheckMark(r, kCheckCol, mark);
    } else {
        std::int32_t model = row - 1;
        while (model >= 0 && !modelRow(model)) --model;
        // A row with no model above it has no summary to update; falling
        // back to row 0 would overwrite the mark just set when the row is 0.
        if (model >= 0) {
            bool anyChecked = false;
            for (std::int32_t r = model + 1; r < rows && !modelRow(r) && !anyChecked; ++r)
                anyChecked = grid_.Checked(r, kCheckCol) == kChecked;
            grid_.SetCheckMark(model, kCheckCol, anyChecked ? kChecked : kUnchecked);
        }
    }
    grid_.Redraw();
}

void frmFiles::SetModelCaptions(std::int16_t sourceColumn) {
    const std::int16_t rows = count16(grid_.Rows(), "rows");
    for (std::int32_t r = 0; r < rows; ++r)
        if (grid_.OutlineLevel(r) == 1)
            grid_.SetText(r, kNameCol, TextOf(grid_.Data(r, sourceColumn)));
}

// --- popup menu ----------------------------------------------------------

void frmFiles::fgFiles_MouseDown(std::int16_t button, std::int16_t /*shift*/, float /*x*/,
                                 float /*y*/) {
    if (button != kRightButton) return;
    const std::int16_t selected = count16(grid_.SelectedRows(), "selected rows");
    bool canAdd = selected >= 2;
    bool canRemove = selected >= 2;
    if (selected == 1) {
        // Judge the row the commands act on. The current row usually is that
        // row, but a Ctrl+click that deselects a row leaves it current, and
        // then it would say nothing about what "Add" or "Remove" would change.
        const bool checked = grid_.Checked(grid_.SelectedRow(0), kCheckCol) == kChecked;
        canAdd = !checked;
        canRemove = checked;
    }
    menu_.Tools("miEAdd").enabled = canAdd;
    menu_.Tools("miEClear").enabled = canRemove;

    const std::string picked = menu_.PopupMenu(0, Runtime(), *this);
    if (!picked.empty()) abMenu_ToolClick(picked);
}

void frmFiles::CheckSelected(bool checked) {
    const std::int16_t selected = count16(grid_.SelectedRows(), "selected rows");
    for (std::int16_t i = 0; i < selected; ++i) {
        const std::int32_t row = grid_.SelectedRow(i);
        grid_.SetChecked(row, kCheckCol, checked);
        SyncChecks(row);
    }
}

void frmFiles::abMenu_ToolClick(const std::string& toolName) {
    if (toolName == "miEAdd") {
        CheckSelected(true);
    } else if (toolName == "miEClear") {
        CheckSelected(false);
    } else if (toolName == "miEAddAll" || toolName == "miEClearAll") {
        // A range from row 0 to the last row does not exist in an empty grid.
        if (grid_.Rows() > 0)
            grid_.SetCheckedRange(0, kCheckCol, grid_.Rows() - 1, kCheckCol,
                                  toolName == "miEAddAll");
    } else if (toolName == "miECollapse") {
        grid_.Outline(1);
    } else if (toolName == "miEExpand") {
        grid_.Outline(2);
    } else if (toolName == "miEName") {
        Tool& tool = menu_.Tools("miEName");
        tool.checked = !tool.checked;
        SetModelCaptions(tool.checked ? 0 : 2);
    }
}

// --- closing -------------------------------------------------------------

void frmFiles::cmdOK_Click() { Runtime().Hide(*this); }

void frmFiles::cmdCancel_Click() { Runtime().Unload(*this); }

void frmFiles::CloseBox() { Runtime().Unload(*this); }

void frmFiles::PressEnter() { cmdOK_Click(); }

void frmFiles::PressEscape() { cmdCancel_Click(); }

}  // namespace bm::select
