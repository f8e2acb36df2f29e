#include "select/outline_grid.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/error.h"

namespace bm::select {
namespace {

// --- rows from TAB text ----------------------------------------------------

struct TabCase {
    std::string text;
    std::array<std::string, 3> cols;
};

class GridAddItem : public testing::TestWithParam<TabCase> {};

TEST_P(GridAddItem, SplitsTheTextIntoTheThreeColumns) {
    const TabCase& c = GetParam();
    OutlineGrid g;
    g.AddItem(c.text);
    ASSERT_EQ(g.Rows(), 1);
    for (int col = 0; col < 3; ++col) EXPECT_EQ(g.Text(0, col), c.cols[col]) << "column " << col;
}

INSTANTIATE_TEST_SUITE_P(Texts, GridAddItem,
                         testing::Values(TabCase{"a\tb\tc", {"a", "b", "c"}},
                                         TabCase{"\t\tBracket.ipt", {"", "", "Bracket.ipt"}},
                                         TabCase{"only", {"only", "", ""}},
                                         TabCase{"", {"", "", ""}},
                                         TabCase{"a\tb\tc\tdropped", {"a", "b", "c"}},
                                         TabCase{"\t\t\t", {"", "", ""}}));

TEST(GridRows, CellsOutsideTheGridAreRefused) {
    OutlineGrid g;
    g.AddItem("x");
    const std::vector<std::pair<int, int>> bad = {{-1, 0}, {1, 0}, {0, -1}, {0, 3}};
    for (const auto& [row, col] : bad) {
        SCOPED_TRACE(testing::Message() << "row " << row << " col " << col);
        EXPECT_THROW((void)g.Text(row, col), Error);
        EXPECT_THROW(g.SetChecked(row, col, true), Error);
    }
    EXPECT_THROW(g.SetRow(1), Error);
    EXPECT_THROW(g.Select({0, 1}), Error);
    EXPECT_EQ(g.SelectedRows(), 0);
    EXPECT_THROW((void)g.SelectedRow(0), Error);
}

// --- check marks -----------------------------------------------------------

TEST(GridChecks, RangeWriteTouchesExactlyTheRectangle) {
    OutlineGrid g;
    for (int i = 0; i < 5; ++i) g.AddItem("");
    g.SetCheckedRange(3, 1, 1, 1, true);  // corners in either order
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c) {
            const bool inside = c == 1 && r >= 1 && r <= 3;
            EXPECT_EQ(g.Checked(r, c), inside ? kChecked : kNoCheckBox) << r << "," << c;
        }
    // A corner outside the grid, or a mark outside the encoding, changes nothing.
    EXPECT_THROW(g.SetCheckedRange(0, 1, 5, 1, false), Error);
    EXPECT_THROW(g.SetCheckMark(1, 1, 3), Error);
    EXPECT_EQ(g.Checked(0, 1), kNoCheckBox);
    EXPECT_EQ(g.Checked(1, 1), kChecked);
}

// --- outline -----------------------------------------------------------------

// Levels 1, 2, 2, 1, 2, 3, 2 with nodes on rows 0, 3 and 4.
OutlineGrid Outline3() {
    OutlineGrid g;
    const std::vector<std::pair<int, bool>> rows = {{1, true}, {2, false}, {2, false}, {1, true},
                                                    {2, true}, {3, false}, {2, false}};
    for (const auto& [level, node] : rows) {
        g.AddItem("");
        g.SetOutlineLevel(g.Rows() - 1, level);
        g.SetNode(g.Rows() - 1, node);
    }
    return g;
}

std::string Shown(const OutlineGrid& g) {
    std::string s;
    for (int r = 0; r < g.Rows(); ++r) s += g.RowShown(r) ? '+' : '.';
    return s;
}

TEST(GridOutline, FoldLevelDecidesWhichNodesCollapse) {
    OutlineGrid g = Outline3();
    EXPECT_EQ(Shown(g), "+++++++");
    g.Outline(1);
    EXPECT_EQ(Shown(g), "+..+...");
    g.Outline(2);
    EXPECT_EQ(Shown(g), "+++++.+");
    g.Outline(3);
    EXPECT_EQ(Shown(g), "+++++++");
    g.Outline(1);
    g.Outline(3);
    EXPECT_EQ(Shown(g), "+++++++");
}

TEST(GridOutline, OneNodeFoldsOnlyItsOwnRows) {
    OutlineGrid g = Outline3();
    g.SetCollapsed(0, true);
    EXPECT_EQ(Shown(g), "+..++++");
    g.SetCollapsed(0, false);
    g.SetCollapsed(4, true);
    EXPECT_EQ(Shown(g), "+++++.+");
    g.SetCollapsed(3, true);
    EXPECT_EQ(Shown(g), "++++...") << "row 5 stays hidden when row 4 unfolds";
    g.SetCollapsed(4, false);
    EXPECT_EQ(Shown(g), "++++...");
}

// --- selection ---------------------------------------------------------------

TEST(GridSelection, ClicksSetCurrentAndSelectedRows) {
    OutlineGrid g;
    for (int i = 0; i < 6; ++i) g.AddItem("");
    g.Display().listBoxSelection = true;

    g.Click(4);
    g.CtrlClick(1);
    g.CtrlClick(5);
    EXPECT_EQ(g.Row(), 5);
    ASSERT_EQ(g.SelectedRows(), 3);
    EXPECT_EQ(g.SelectedRow(0), 1) << "reported in row order, not click order";
    EXPECT_EQ(g.SelectedRow(1), 4);
    EXPECT_EQ(g.SelectedRow(2), 5);

    g.CtrlClick(4);  // deselects, yet becomes current
    EXPECT_EQ(g.Row(), 4);
    ASSERT_EQ(g.SelectedRows(), 2);
    EXPECT_EQ(g.SelectedRow(1), 5);

    g.Click(2);
    EXPECT_EQ(g.SelectedRows(), 1);
    EXPECT_EQ(g.SelectedRow(0), 2);

    g.Display().listBoxSelection = false;
    g.CtrlClick(3);
    EXPECT_EQ(g.SelectedRows(), 1) << "Ctrl+click only adds rows in list-box mode";
    EXPECT_EQ(g.SelectedRow(0), 3);

    g.Select({3, 0, 3});
    EXPECT_EQ(g.SelectedRows(), 2);
    EXPECT_EQ(g.SelectedRow(0), 0);
}

}  // namespace
}  // namespace bm::select
