#include "select/frm_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.h"
#include "platform/portable/headless_runtime.h"

namespace bm::select {
namespace {

using portable::HeadlessRuntime;
using Rows = std::vector<std::int32_t>;

// Names each case of a table after its `name` field.
struct ByName {
    template <class P>
    std::string operator()(const testing::TestParamInfo<P>& p) const {
        return p.param.name;
    }
};

// Rows 0-3: Bracket.ipt (a part) with three properties; rows 4-6: Frame.iam
// (an assembly) with two.
class FilesDialog : public testing::Test {
protected:
    void SetUp() override {
        dlg.AddModelRow("Bracket.ipt", "C:\\Work\\Bracket.ipt", 12290);
        dlg.AddPropertyRow("Part Number", "BR-100");
        dlg.AddPropertyRow("Material", "Steel");
        dlg.AddPropertyRow("Cost", 12.5);
        dlg.AddModelRow("Frame.iam", "C:\\Work\\Frame.iam", 12291);
        dlg.AddPropertyRow("Designer", "Ann");
        dlg.AddPropertyRow("Revision", std::int32_t{3});
        dlg.fgFiles().Outline(1);
    }
    // Check marks of all rows, '1' checked and '2' unchecked.
    std::string Marks() {
        std::string s;
        for (std::int32_t r = 0; r < dlg.fgFiles().Rows(); ++r)
            s += static_cast<char>('0' + dlg.fgFiles().Checked(r, 1));
        return s;
    }
    std::string Captions() {
        std::string s;
        for (std::int32_t r = 0; r < dlg.fgFiles().Rows(); ++r) s += dlg.RowText(r) + "|";
        return s;
    }
    void Toggle(const Rows& rows) {
        for (auto r : rows) {
            dlg.fgFiles().Click(r);
            dlg.fgFiles_DblClick();
        }
    }
    // Right-clicks the grid and picks `tool`; returns the menu shown.
    std::vector<ui::MenuEntry> RightClick(const std::string& tool = "") {
        rt.PickMenu(tool);
        dlg.fgFiles_MouseDown(kRightButton, 0, 100, 100);
        return rt.Menus().back();
    }
    // Right-clicks the grid and picks the entry that reads `caption`, as a
    // person does.
    void PickCaption(const std::string& caption) {
        for (const auto& e : RightClick())
            if (!e.separator() && e.caption == caption) return static_cast<void>(RightClick(e.name));
        ADD_FAILURE() << "the menu has no entry \"" << caption << '"';
    }
    static const ui::MenuEntry& Entry(const std::vector<ui::MenuEntry>& menu,
                                      const std::string& name) {
        for (const auto& e : menu)
            if (e.name == name) return e;
        throw std::runtime_error("no entry " + name);
    }

    HeadlessRuntime rt;
    frmFiles dlg{rt};
};

TEST(FilesDialogLoad, LoadsCentredOnFirstTouchWithItsDisplaySettings) {
    HeadlessRuntime rt;
    frmFiles other{rt};
    EXPECT_FALSE(other.Loaded());
    other.fgFiles();
    EXPECT_TRUE(other.Loaded());
    EXPECT_FALSE(other.Visible());
    // 7815 x 5010 with its frame, centred on 15360 x 11070 twips.
    EXPECT_EQ(other.Left(), 3772);
    EXPECT_EQ(other.Top(), 3030);
    EXPECT_EQ(other.fgFiles().ColWidth(0), 300);
    EXPECT_EQ(other.fgFiles().ColWidth(1), 300);
    EXPECT_TRUE(other.fgFiles().Display().listBoxSelection);
    EXPECT_EQ(other.abMenu().Tools("miEName").style, kToolCheckable);
    EXPECT_EQ(other.abMenu().LayoutCount(), 1u) << "loaded once only";
    EXPECT_EQ(other.fgFiles().Rows(), 0);
}

TEST_F(FilesDialog, RowsCarryWhatTheCopyEngineReadsBack) {
    OutlineGrid& g = dlg.fgFiles();
    ASSERT_EQ(dlg.RowCount(), 7);
    EXPECT_TRUE(g.IsNode(0));
    EXPECT_EQ(g.OutlineLevel(0), 1);
    EXPECT_EQ(g.Text(0, 2), "Bracket.ipt");
    EXPECT_EQ(g.Data(0, 0), Variant("C:\\Work\\Bracket.ipt"));
    EXPECT_EQ(dlg.ModelName(0), "Bracket.ipt");
    EXPECT_FALSE(g.IsNode(3));
    EXPECT_EQ(g.OutlineLevel(3), 2);
    EXPECT_EQ(g.Picture(3, 2), kIconProperty);
    EXPECT_EQ(dlg.RowText(3), " Cost");
    EXPECT_EQ(dlg.RowValue(3), Variant(12.5)) << "the value keeps its type";
    EXPECT_EQ(dlg.RowValue(6), Variant(std::int32_t{3}));
    for (std::int32_t r = 0; r < 7; ++r) {
        EXPECT_EQ(dlg.IsModelRow(r), r == 0 || r == 4) << r;
        EXPECT_TRUE(dlg.IsRowChecked(r)) << r;
        EXPECT_EQ(g.RowShown(r), r == 0 || r == 4) << r;
    }
    // A TAB inside a name does not cut it short.
    dlg.AddPropertyRow("A\tB", "x");
    EXPECT_EQ(dlg.RowText(7), " A\tB");
}

TEST(FilesDialogIcons, ModelIconFollowsTheDocumentKind) {
    struct Case {
        std::int32_t kind;
        std::int16_t icon;
        std::int32_t width;  // tells the pictures apart
    };
    const std::vector<Case> cases = {{12291, kIconAssembly, 14},
                                     {12290, kIconPart, 14},
                                     {12293, kIconPresentation, 16},
                                     {12292, kNoPicture, 0},
                                     {0, kNoPicture, 0}};
    HeadlessRuntime rt;
    frmFiles dlg{rt};
    for (const Case& c : cases) {
        dlg.AddModelRow("m", "f", c.kind);
        const std::int16_t icon = dlg.fgFiles().Picture(dlg.fgFiles().Rows() - 1, 2);
        EXPECT_EQ(icon, c.icon) << "kind " << c.kind;
        if (icon != kNoPicture) {
            EXPECT_EQ(dlg.imgCell(icon).Width(), c.width) << "kind " << c.kind;
        }
    }
    dlg.AddPropertyRow("p", "v");
    EXPECT_EQ(dlg.imgCell(dlg.fgFiles().Picture(5, 2)).Width(), 26);
    EXPECT_THROW((void)dlg.imgCell(kNoPicture), Error);
}

// --- the row toggle --------------------------------------------------------

struct ToggleCase {
    const char* name;
    Rows toggled;
    const char* marks;
};

class FilesDialogToggle : public FilesDialog, public testing::WithParamInterface<ToggleCase> {};

TEST_P(FilesDialogToggle, KeepsModelAndPropertyMarksInAgreement) {
    const std::size_t redraws = dlg.fgFiles().RedrawCount();
    Toggle(GetParam().toggled);
    EXPECT_EQ(Marks(), GetParam().marks);
    EXPECT_EQ(dlg.fgFiles().RedrawCount(), redraws + GetParam().toggled.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, FilesDialogToggle,
                         testing::Values(ToggleCase{"ModelUnchecksAll", {0}, "2222111"},
                                         ToggleCase{"ModelChecksAll", {0, 0}, "1111111"},
                                         ToggleCase{"SomePropertiesOff", {1, 2}, "1221111"},
                                         ToggleCase{
                                             "LastPropertyOffUnchecksModel", {1, 2, 3}, "2222111"},
                                         ToggleCase{"AnyPropertyOnChecksModel", {0, 2}, "1212111"},
                                         ToggleCase{"OtherGroupUntouched", {5, 6}, "1111222"},
                                         ToggleCase{"LastGroupEndsAtLastRow", {4, 5}, "1111112"}),
                         ByName());

TEST_F(FilesDialog, ToggleWithoutCurrentRowDoesNothing) {
    ASSERT_EQ(dlg.fgFiles().Row(), -1);
    dlg.fgFiles_DblClick();
    EXPECT_EQ(Marks(), "1111111");
    EXPECT_EQ(dlg.fgFiles().RedrawCount(), 0u);
}

TEST(FilesDialogLoose, PropertyWithoutModelAboveKeepsItsOwnMark) {
    HeadlessRuntime rt;
    frmFiles loose{rt};
    loose.AddPropertyRow("Orphan", "x");
    loose.AddPropertyRow("Sibling", "y");
    loose.fgFiles().Click(0);
    loose.fgFiles_DblClick();
    EXPECT_FALSE(loose.IsRowChecked(0));
    EXPECT_TRUE(loose.IsRowChecked(1));
}

TEST_F(FilesDialog, ModelsWithTheSameNameKeepSeparateGroups) {
    dlg.AddModelRow("Bracket.ipt", "D:\\Other\\Bracket.ipt", 12290);
    dlg.AddPropertyRow("Finish", "Paint");
    Toggle({8});
    EXPECT_EQ(Marks(), "111111122");
    Toggle({0});
    EXPECT_EQ(Marks(), "222211122");
}

// --- popup menu --------------------------------------------------------------

// What a right click shows: the captions in order, with the separators.
// What each one does is picked by its caption in the command table below.
TEST_F(FilesDialog, RightClickShowsTheEditCommands) {
    std::string layout;
    for (const auto& e : RightClick()) layout += (e.separator() ? "-" : e.caption) + "|";
    EXPECT_EQ(layout,
              "Remove|Remove all|-|Add|Add all|-|Show Full Path|Collapse All|Expand All|");
}

struct EnableCase {
    const char* name;
    std::function<void(OutlineGrid&)> select;
    bool add, remove;
};

class FilesDialogEnabling : public FilesDialog, public testing::WithParamInterface<EnableCase> {};

TEST_P(FilesDialogEnabling, AddAndRemoveFollowTheSelection) {
    Toggle({5, 6});  // rows 4 to 6 unchecked
    dlg.fgFiles().Select({});
    GetParam().select(dlg.fgFiles());
    const auto menu = RightClick();
    EXPECT_EQ(Entry(menu, "miEAdd").enabled, GetParam().add);
    EXPECT_EQ(Entry(menu, "miEClear").enabled, GetParam().remove);
    for (const char* other : {"miEAddAll", "miEClearAll", "miEName", "miECollapse", "miEExpand"})
        EXPECT_TRUE(Entry(menu, other).enabled) << other;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilesDialogEnabling,
    testing::Values(EnableCase{"NothingSelected", [](OutlineGrid& g) { g.SetRow(1); }, false,
                               false},
                    EnableCase{"OneChecked", [](OutlineGrid& g) { g.Click(1); }, false, true},
                    EnableCase{"OneUnchecked", [](OutlineGrid& g) { g.Click(6); }, true, false},
                    EnableCase{"SeveralChecked",
                               [](OutlineGrid& g) {
                                   g.Select({1, 2});
                               },
                               true, true},
                    EnableCase{"SeveralUnchecked",
                               [](OutlineGrid& g) {
                                   g.Select({5, 6});
                               },
                               true, true},
                    EnableCase{"SeveralMixed",
                               [](OutlineGrid& g) {
                                   g.Select({1, 6});
                               },
                               true, true},
                    // A Ctrl+click that deselects a row leaves it current; the one row
                    // still selected is what the commands would act on.
                    EnableCase{"CurrentRowDeselected",
                               [](OutlineGrid& g) {
                                   g.Click(1);
                                   g.CtrlClick(6);
                                   g.CtrlClick(6);
                               },
                               false, true}),
    ByName());

TEST_F(FilesDialog, OnlyTheRightButtonOpensTheMenu) {
    dlg.fgFiles().Click(1);
    for (std::int16_t button : {kLeftButton, kMiddleButton}) {
        rt.PickMenu("miEClearAll");
        dlg.fgFiles_MouseDown(button, 0, 0, 0);
    }
    EXPECT_TRUE(rt.Menus().empty());
    EXPECT_EQ(Marks(), "1111111");
}

struct CommandCase {
    const char* name;
    Rows toggledFirst;
    Rows selected;
    const char* caption;  // of the entry picked
    const char* marks;
};

class FilesDialogCommand : public FilesDialog, public testing::WithParamInterface<CommandCase> {};

TEST_P(FilesDialogCommand, ChangesTheSelectedRowsAndTheirGroups) {
    Toggle(GetParam().toggledFirst);
    dlg.fgFiles().Select(GetParam().selected);
    PickCaption(GetParam().caption);
    EXPECT_EQ(Marks(), GetParam().marks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilesDialogCommand,
    testing::Values(CommandCase{"RemoveModel", {}, {0}, "Remove", "2222111"},
                    CommandCase{"RemoveOnlyCheckedProperty", {0, 2}, {2}, "Remove", "2222111"},
                    CommandCase{"RemoveOneOfSeveral", {}, {2}, "Remove", "1121111"},
                    CommandCase{"AddPropertyOfUncheckedModel", {0}, {2}, "Add", "1212111"},
                    CommandCase{"AddModel", {0}, {0}, "Add", "1111111"},
                    CommandCase{
                        "RemoveModelWithItsProperties", {}, {0, 1, 2}, "Remove", "2222111"},
                    CommandCase{"AddModelWithOneProperty", {0}, {0, 3}, "Add", "1111111"},
                    CommandCase{"RemoveAcrossGroups", {}, {3, 5, 6}, "Remove", "1112222"},
                    CommandCase{"AddAll", {0, 5}, {}, "Add all", "1111111"},
                    CommandCase{"RemoveAll", {}, {}, "Remove all", "2222222"}),
    ByName());

TEST_F(FilesDialog, UnknownToolsAndDisabledEntriesDoNothing) {
    Toggle({2});
    dlg.fgFiles().Select({0, 1, 4});
    const std::string captions = Captions();
    for (const char* name : {"miEadd", "MIEADD", "miEAdd ", "", "mnuEdiit", "miEClearall"}) {
        dlg.abMenu_ToolClick(name);
        EXPECT_EQ(Marks(), "1121111") << name;
        EXPECT_EQ(Captions(), captions) << name;
    }
    dlg.abMenu().Tools("miEClearAll").enabled = false;
    RightClick("miEClearAll");
    RightClick("miEclear");
    EXPECT_EQ(Marks(), "1121111") << "a runtime answering with a disabled or unknown entry";
}

TEST_F(FilesDialog, ShowFullPathTwiceReturnsToNames) {
    RightClick("miEName");
    EXPECT_EQ(Captions(),
              "C:\\Work\\Bracket.ipt| Part Number| Material| Cost|C:\\Work\\Frame.iam| Designer| "
              "Revision|");
    EXPECT_EQ(dlg.ModelName(4), "Frame.iam") << "the prefix source stays the name";
    EXPECT_TRUE(Entry(RightClick("miEName"), "miEName").checked);
    EXPECT_EQ(Captions(),
              "Bracket.ipt| Part Number| Material| Cost|Frame.iam| Designer| Revision|");
    EXPECT_FALSE(Entry(RightClick(), "miEName").checked);
}

TEST_F(FilesDialog, CollapseAndExpandNeverTouchAMark) {
    Toggle({2, 4});
    RightClick("miEExpand");
    for (std::int32_t r = 0; r < 7; ++r) EXPECT_TRUE(dlg.fgFiles().RowShown(r)) << r;
    RightClick("miECollapse");
    for (std::int32_t r = 0; r < 7; ++r)
        EXPECT_EQ(dlg.fgFiles().RowShown(r), r == 0 || r == 4) << r;
    EXPECT_EQ(Marks(), "1121222");
}

TEST_F(FilesDialog, AllRowsCommandsThenOkDecideWhatIsCopied) {
    const std::vector<std::pair<const char*, int>> cases = {{"miEClearAll", 0}, {"miEAddAll", 5}};
    for (const auto& [tool, copied] : cases) {
        rt.Expect<frmFiles>("files", [this, t = tool](frmFiles& d) {
            Toggle({1, 5});
            RightClick(t);
            d.PressEnter();
        });
        rt.ShowModal(dlg);
        int selected = 0;
        for (std::int16_t r = 0; r < dlg.RowCount(); ++r)
            selected += !dlg.IsModelRow(r) && dlg.IsRowChecked(r);
        EXPECT_EQ(selected, copied) << tool;
    }
}

TEST(FilesDialogEmpty, EveryCommandIsHarmlessOnAnEmptyList) {
    HeadlessRuntime rt;
    frmFiles dlg{rt};
    for (const auto& name : dlg.abMenu().Bands(0).tools)
        EXPECT_NO_THROW(dlg.abMenu_ToolClick(name)) << name;
    EXPECT_EQ(dlg.RowCount(), 0);
}

// --- closing -------------------------------------------------------------------

struct CloseCase {
    const char* name;
    std::function<void(frmFiles&)> close;
    bool keepsRows;
};

class FilesDialogClose : public FilesDialog, public testing::WithParamInterface<CloseCase> {};

TEST_P(FilesDialogClose, OkKeepsTheRowsAndEverythingElseDiscardsThem) {
    rt.Expect<frmFiles>("files", [this](frmFiles& d) {
        Toggle({1});
        RightClick("miEName");
        GetParam().close(d);
    });
    rt.ShowModal(dlg);
    EXPECT_FALSE(dlg.Visible());
    EXPECT_EQ(dlg.Loaded(), GetParam().keepsRows);
    if (GetParam().keepsRows) {
        EXPECT_EQ(dlg.RowCount(), 7);
        EXPECT_EQ(Marks(), "1211111");
        EXPECT_TRUE(dlg.abMenu().Tools("miEName").checked);
    } else {
        EXPECT_EQ(dlg.RowCount(), 0);
        EXPECT_FALSE(dlg.abMenu().Tools("miEName").checked) << "caption mode starts off again";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilesDialogClose,
    testing::Values(CloseCase{"Ok", [](frmFiles& d) { d.cmdOK_Click(); }, true},
                    CloseCase{"Enter", [](frmFiles& d) { d.PressEnter(); }, true},
                    CloseCase{"Cancel", [](frmFiles& d) { d.cmdCancel_Click(); }, false},
                    CloseCase{"Escape", [](frmFiles& d) { d.PressEscape(); }, false},
                    CloseCase{"CloseBox", [](frmFiles& d) { d.CloseBox(); }, false}),
    ByName());

// --- the 16-bit row counters ---------------------------------------------------

TEST(FilesDialogLimits, RowsStopAtWhatTheCountersReach) {
    HeadlessRuntime rt;
    frmFiles dlg{rt};
    dlg.AddModelRow("Big.ipt", "C:\\Big.ipt", 12290);
    for (std::int32_t i = 1; i < kMaxRows; ++i) dlg.AddPropertyRow("P", std::int32_t{i});
    EXPECT_EQ(dlg.RowCount(), 32767);
    dlg.fgFiles().Click(kMaxRows - 1);
    dlg.fgFiles_DblClick();  // the largest grid still works
    EXPECT_FALSE(dlg.IsRowChecked(kMaxRows - 1));
    try {
        dlg.AddPropertyRow("One too many", "x");
        FAIL() << "row 32768 accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    }
    EXPECT_EQ(dlg.fgFiles().Rows(), kMaxRows);

    // Rows added behind the dialog's back: its own counters overflow.
    dlg.fgFiles().AddItem("\t\t x");
    EXPECT_THROW(dlg.fgFiles_DblClick(), Error);
    EXPECT_THROW((void)dlg.RowCount(), Error);
}

}  // namespace
}  // namespace bm::select
