#include "select/outline_grid.h"

#include <algorithm>

#include "core/error.h"

namespace bm::select {

const OutlineGrid::RowData& OutlineGrid::at(std::int32_t row) const {
    if (row < 0 || row >= Rows())
        raise(ErrorKind::InvalidArgument, "invalid row " + std::to_string(row));
    return rows_[static_cast<std::size_t>(row)];
}

OutlineGrid::RowData& OutlineGrid::at(std::int32_t row) {
    return const_cast<RowData&>(static_cast<const OutlineGrid&>(*this).at(row));
}

void OutlineGrid::checkCol(std::int32_t col) {
    if (col < 0 || col >= kCols)
        raise(ErrorKind::InvalidArgument, "invalid column " + std::to_string(col));
}

const OutlineGrid::Cell& OutlineGrid::cell(std::int32_t row, std::int32_t col) const {
    checkCol(col);
    return at(row).cells[col];
}

OutlineGrid::Cell& OutlineGrid::cell(std::int32_t row, std::int32_t col) {
    checkCol(col);
    return at(row).cells[col];
}

void OutlineGrid::AddItem(std::string_view tabText) {
    RowData r;
    std::int32_t col = 0;
    for (;;) {
        const auto tab = tabText.find('\t');
        r.cells[col].text = std::string(tabText.substr(0, tab));
        if (tab == std::string_view::npos || ++col == kCols) break;
        tabText.remove_prefix(tab + 1);
    }
    rows_.push_back(std::move(r));
}

bool OutlineGrid::IsNode(std::int32_t row) const { return at(row).node; }
void OutlineGrid::SetNode(std::int32_t row, bool node) { at(row).node = node; }
std::int32_t OutlineGrid::OutlineLevel(std::int32_t row) const { return at(row).level; }
void OutlineGrid::SetOutlineLevel(std::int32_t row, std::int32_t level) { at(row).level = level; }

const std::string& OutlineGrid::Text(std::int32_t row, std::int32_t col) const {
    return cell(row, col).text;
}
void OutlineGrid::SetText(std::int32_t row, std::int32_t col, std::string text) {
    cell(row, col).text = std::move(text);
}

std::int16_t OutlineGrid::Picture(std::int32_t row, std::int32_t col) const {
    return cell(row, col).picture;
}
void OutlineGrid::SetPicture(std::int32_t row, std::int32_t col, std::int16_t index) {
    cell(row, col).picture = index;
}

std::int16_t OutlineGrid::Checked(std::int32_t row, std::int32_t col) const {
    return cell(row, col).checked;
}
void OutlineGrid::SetCheckMark(std::int32_t row, std::int32_t col, std::int16_t mark) {
    if (mark < kNoCheckBox || mark > kUnchecked)
        raise(ErrorKind::InvalidPropertyValue, "invalid check mark " + std::to_string(mark));
    cell(row, col).checked = mark;
}
void OutlineGrid::SetChecked(std::int32_t row, std::int32_t col, bool checked) {
    cell(row, col).checked = checked ? kChecked : kUnchecked;
}

void OutlineGrid::SetCheckedRange(std::int32_t row1, std::int32_t col1, std::int32_t row2,
                                  std::int32_t col2, bool checked) {
    // Validate both corners first so that a bad range changes nothing.
    (void)cell(row1, col1);
    (void)cell(row2, col2);
    for (std::int32_t r = std::min(row1, row2); r <= std::max(row1, row2); ++r)
        for (std::int32_t c = std::min(col1, col2); c <= std::max(col1, col2); ++c)
            SetChecked(r, c, checked);
}

const Variant& OutlineGrid::Data(std::int32_t row, std::int32_t col) const {
    return cell(row, col).data;
}
void OutlineGrid::SetData(std::int32_t row, std::int32_t col, Variant data) {
    cell(row, col).data = std::move(data);
}

void OutlineGrid::SetRow(std::int32_t row) {
    if (row != -1) (void)at(row);
    current_ = row;
}

std::int32_t OutlineGrid::SelectedRow(std::int32_t index) const {
    if (index < 0 || index >= SelectedRows())
        raise(ErrorKind::InvalidArgument, "invalid selection index " + std::to_string(index));
    return selected_[static_cast<std::size_t>(index)];
}

void OutlineGrid::Select(std::vector<std::int32_t> rows) {
    for (const auto r : rows) (void)at(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    selected_ = std::move(rows);
}

void OutlineGrid::Click(std::int32_t row) {
    SetRow(row);
    selected_.assign(1, row);
}

void OutlineGrid::CtrlClick(std::int32_t row) {
    if (!display_.listBoxSelection) return Click(row);
    SetRow(row);
    const auto pos = std::lower_bound(selected_.begin(), selected_.end(), row);
    if (pos != selected_.end() && *pos == row)
        selected_.erase(pos);
    else
        selected_.insert(pos, row);
}

void OutlineGrid::Outline(std::int32_t level) {
    for (auto& r : rows_)
        if (r.node) r.collapsed = r.level >= level;
}

bool OutlineGrid::IsCollapsed(std::int32_t row) const { return at(row).collapsed; }
void OutlineGrid::SetCollapsed(std::int32_t row, bool collapsed) { at(row).collapsed = collapsed; }

bool OutlineGrid::RowShown(std::int32_t row) const {
    // Walk up through the row's ancestors: the nearest node above with a
    // shallower level, then that node's own, and so on.
    std::int32_t level = at(row).level;
    for (std::int32_t r = row - 1; r >= 0; --r) {
        const RowData& above = rows_[static_cast<std::size_t>(r)];
        if (!above.node || above.level >= level) continue;
        if (above.collapsed) return false;
        level = above.level;
    }
    return true;
}

std::int32_t OutlineGrid::ColWidth(std::int32_t col) const {
    checkCol(col);
    return colWidth_[col];
}

void OutlineGrid::SetColWidth(std::int32_t col, std::int32_t twips) {
    checkCol(col);
    colWidth_[col] = twips;
}

}  // namespace bm::select
