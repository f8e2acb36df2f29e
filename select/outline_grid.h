#pragma once

// The outline grid of the selection dialog: a flat list of rows of three
// columns that forms an outline through each row's node flag and level. Each
// cell has visible text, an icon, a check mark and hidden data. Row indices
// count from 0 and are 32-bit, as the control keeps them; the dialog's own
// counters are narrower (see frm_files.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"

namespace bm::select {

// A cell's check mark as the grid encodes it. Writing a Boolean stores
// kChecked or kUnchecked; a mark counts as checked only when it reads kChecked.
enum CheckMark : std::int16_t {
    kNoCheckBox = 0,
    kChecked = 1,
    kUnchecked = 2,
};

inline constexpr std::int16_t kNoPicture = -1;

// Display settings that belong to the grid rather than to any row.
struct GridDisplay {
    std::int32_t outlineCol = 0;    // column that draws the outline and the icons
    bool treeLines = false;         // nodes drawn as a tree with fold buttons
    bool listBoxSelection = false;  // Ctrl+click adds rows to the selection
    bool extendLastCol = false;     // the last column fills the remaining width
    bool gridLines = true;          // lines between the cells
};

class OutlineGrid {
public:
    static constexpr std::int32_t kCols = 3;

    OutlineGrid() = default;

    std::int32_t Rows() const { return static_cast<std::int32_t>(rows_.size()); }
    // Appends a row whose column texts are separated by TAB characters;
    // missing columns stay empty, texts beyond the last column are dropped.
    void AddItem(std::string_view tabText);

    bool IsNode(std::int32_t row) const;
    void SetNode(std::int32_t row, bool node);
    std::int32_t OutlineLevel(std::int32_t row) const;
    void SetOutlineLevel(std::int32_t row, std::int32_t level);

    const std::string& Text(std::int32_t row, std::int32_t col) const;
    void SetText(std::int32_t row, std::int32_t col, std::string text);
    std::int16_t Picture(std::int32_t row, std::int32_t col) const;
    void SetPicture(std::int32_t row, std::int32_t col, std::int16_t index);
    std::int16_t Checked(std::int32_t row, std::int32_t col) const;
    // Stores a mark in the grid's encoding; InvalidPropertyValue outside it.
    void SetCheckMark(std::int32_t row, std::int32_t col, std::int16_t mark);
    // A Boolean write: true stores kChecked, false kUnchecked.
    void SetChecked(std::int32_t row, std::int32_t col, bool checked);
    // A number would silently become a Boolean; marks go through SetCheckMark.
    template <class T>
    void SetChecked(std::int32_t row, std::int32_t col, T) = delete;
    // The same mark on every cell of the rectangle (corners inclusive).
    void SetCheckedRange(std::int32_t row1, std::int32_t col1, std::int32_t row2, std::int32_t col2,
                         bool checked);
    const Variant& Data(std::int32_t row, std::int32_t col) const;
    void SetData(std::int32_t row, std::int32_t col, Variant data);

    // The current row; -1 when there is none.
    std::int32_t Row() const { return current_; }
    void SetRow(std::int32_t row);
    // Selected rows in ascending row order.
    std::int32_t SelectedRows() const { return static_cast<std::int32_t>(selected_.size()); }
    std::int32_t SelectedRow(std::int32_t index) const;
    void Select(std::vector<std::int32_t> rows);
    // The person's gestures: a plain click makes the row current and the only
    // selected one; a Ctrl+click makes it current and flips its selection.
    void Click(std::int32_t row);
    void CtrlClick(std::int32_t row);

    // Collapses every node whose level is `level` or deeper and expands the
    // shallower ones: 1 leaves only the level-1 rows showing.
    void Outline(std::int32_t level);
    bool IsCollapsed(std::int32_t row) const;
    void SetCollapsed(std::int32_t row, bool collapsed);
    // False when a collapsed node above the row hides it.
    bool RowShown(std::int32_t row) const;

    void Redraw() { ++redraws_; }
    std::size_t RedrawCount() const { return redraws_; }

    // Width in twips; -1 until set.
    std::int32_t ColWidth(std::int32_t col) const;
    void SetColWidth(std::int32_t col, std::int32_t twips);

    GridDisplay& Display() { return display_; }
    const GridDisplay& Display() const { return display_; }

private:
    struct Cell {
        std::string text;
        std::int16_t picture = kNoPicture;
        std::int16_t checked = kNoCheckBox;
        Variant data;
    };
    struct RowData {
        Cell cells[kCols];
        bool node = false;
        bool collapsed = false;
        std::int32_t level = 0;
    };

    const RowData& at(std::int32_t row) const;
    RowData& at(std::int32_t row);
    static void checkCol(std::int32_t col);
    const Cell& cell(std::int32_t row, std::int32_t col) const;
    Cell& cell(std::int32_t row, std::int32_t col);

    std::vector<RowData> rows_;
    std::vector<std::int32_t> selected_;  // ascending, no repeats
    std::int32_t current_ = -1;
    std::int32_t colWidth_[kCols] = {-1, -1, -1};
    std::size_t redraws_ = 0;
    GridDisplay display_;
};

}  // namespace bm::select
