// The selective copy: what the dialog is filled with, when it is not shown,
// and which of the rows the person leaves come into the drawing.

#include <gtest/gtest.h>

#include <functional>

#include "core/error.h"
#include "tests/transfer/transfer_testing.h"

namespace bm::transfer::testing {
namespace {

constexpr int kCheckCol = 1;
constexpr int kNameCol = 2;

const Scene kTwoModels{{{"MATERIAL", "Aluminium"}},
                       {{"C:/Work/Bracket.ipt", {{" Part No ", "P-100"}, {"Material", "Steel"}}},
                        {"C:/Work/Frame.iam", {{"Finish", 2.5}}, host::kAssemblyDocument}}};

TEST(SelectAndCopyProps, FillsOneRowPerModelAndPropertyFolded) {
    World world(kTwoModels);
    portable::HeadlessRuntime runtime;
    bool seen = false;
    runtime.Expect<select::frmFiles>("files", [&](select::frmFiles& f) {
        seen = true;
        select::OutlineGrid& g = f.fgFiles();
        ASSERT_EQ(g.Rows(), 5);
        const struct {
            bool model;
            std::string text;
            std::int16_t icon;
        } rows[] = {{true, "Bracket", select::kIconPart},
                    {false, "  Part No ", select::kIconProperty},
                    {false, " Material", select::kIconProperty},
                    {true, "Frame", select::kIconAssembly},
                    {false, " Finish", select::kIconProperty}};
        for (int r = 0; r < 5; ++r) {
            EXPECT_EQ(f.IsModelRow(r), rows[r].model) << "row " << r;
            EXPECT_EQ(g.Text(r, kNameCol), rows[r].text) << "row " << r;
            EXPECT_EQ(g.Picture(r, kNameCol), rows[r].icon) << "row " << r;
            EXPECT_TRUE(f.IsRowChecked(r)) << "row " << r;
            EXPECT_EQ(g.RowShown(r), rows[r].model) << "row " << r;
        }
        EXPECT_EQ(g.Data(0, 0), Variant("C:/Work/Bracket.ipt"));
        EXPECT_EQ(g.Data(4, kCheckCol), Variant(2.5));  // kept as a number
        f.cmdOK_Click();
    });
    SelectAndCopyProps(CopySettings(false, false), runtime, world.refs(), world.target());
    EXPECT_TRUE(seen);
    EXPECT_EQ(runtime.DoEventsCount(), 1u);
}

// The dialog is loaded (and placed) before the host is asked for anything,
// so a model the host cannot open fails a run whose dialog already exists.
TEST(SelectAndCopyProps, LoadsTheDialogBeforeAnyHostCall) {
    struct Runtime : portable::HeadlessRuntime {
        explicit Runtime(workbench::HostProbe& p) : probe(p) {}
        bool WorkArea(ui::Rect& area) override {
            if (callsAtLoad < 0) callsAtLoad = probe.TotalCalls();
            return HeadlessRuntime::WorkArea(area);
        }
        workbench::HostProbe& probe;
        std::int64_t callsAtLoad = -1;
    };
    Scene scene = kTwoModels;
    scene.models[0].unresolved = true;
    World world(scene);
    Runtime runtime(world.probe());
    EXPECT_THROW(
        SelectAndCopyProps(CopySettings(false, false), runtime, world.refs(), world.target()),
        Error);
    EXPECT_EQ(runtime.callsAtLoad, 0);
}

// Scenes with nothing to offer show no dialog, write nothing and let no
// messages run.
TEST(SelectAndCopyProps, ShowsNothingWithoutProperties) {
    const Scene scenes[] = {
        {{{"Title", "t"}}, {}},
        {{{"Title", "t"}}, {{"C:/Work/A.ipt", {}}, {"C:/Work/B.iam", {}, host::kAssemblyDocument}}},
    };
    for (const Scene& scene : scenes) {
        World world(scene);
        portable::HeadlessRuntime runtime;
        SelectAndCopyProps(CopySettings(false, false), runtime, world.refs(), world.target());
        EXPECT_TRUE(runtime.Shown().empty());
        EXPECT_EQ(runtime.DoEventsCount(), 0u);
        EXPECT_EQ(world.Result(), (Props{{"Title", "t"}}));
    }
}

// What the person does in the dialog, and what the drawing holds after.
struct Choice {
    const char* label;
    bool prefaceModel;
    std::function<void(select::frmFiles&)> actions;
    Props expected;
};

const Choice kChoices[] = {
    {"CancelWritesNothing", false, [](select::frmFiles& f) { f.cmdCancel_Click(); },
     {{"MATERIAL", "Aluminium"}}},
    {"CloseBoxWritesNothing", true, [](select::frmFiles& f) { f.CloseBox(); },
     {{"MATERIAL", "Aluminium"}}},
    {"UncheckedRowsAreSkipped", false,
     [](select::frmFiles& f) {
         f.fgFiles().SetChecked(1, kCheckCol, false);
         f.cmdOK_Click();
     },
     {{"MATERIAL", "Steel"}, {"Finish", 2.5}}},
    {"ModelRowMarkIsIgnored", false,
     [](select::frmFiles& f) {
         f.fgFiles().SetChecked(3, kCheckCol, false);  // the model only, not its row
         f.fgFiles().SetChecked(2, kCheckCol, false);
         f.cmdOK_Click();
     },
     {{"MATERIAL", "Aluminium"}, {"Part No", "P-100"}, {"Finish", 2.5}}},
    {"RemoveAllThenOkWritesNothing", false,
     [](select::frmFiles& f) {
         f.abMenu_ToolClick("miEClearAll");
         f.cmdOK_Click();
     },
     {{"MATERIAL", "Aluminium"}}},
    {"NameComesFromTheRowText", false,
     [](select::frmFiles& f) {
         f.fgFiles().SetText(4, kNameCol, "  Surface ");
         f.cmdOK_Click();
     },
     {{"MATERIAL", "Steel"}, {"Part No", "P-100"}, {"Surface", 2.5}}},
    {"PrefixIsTheModelNameWhileFullPathsShow", true,
     [](select::frmFiles& f) {
         f.abMenu_ToolClick("miEName");
         f.cmdOK_Click();
     },
     {{"MATERIAL", "Aluminium"},
      {"Bracket_Part No", "P-100"},
      {"Bracket_Material", "Steel"},
      {"Frame_Finish", 2.5}}},
};

void PrintTo(const Choice& c, std::ostream* os) {
    *os << c.label << ": PrefaceModel " << c.prefaceModel << ", expected ";
    PrintProps(c.expected, os);
}

class Selection : public ::testing::TestWithParam<Choice> {};

TEST_P(Selection, WritesTheRowsLeftChecked) {
    const Choice& c = GetParam();
    World world(kTwoModels);
    portable::HeadlessRuntime runtime;
    runtime.Expect<select::frmFiles>("files", c.actions);
    SelectAndCopyProps(CopySettings(c.prefaceModel, false), runtime, world.refs(), world.target());
    EXPECT_EQ(runtime.PendingExpectations(), 0u);
    EXPECT_EQ(runtime.DoEventsCount(), 1u);
    EXPECT_EQ(world.Result(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Choices, Selection, ::testing::ValuesIn(kChoices),
                         [](const auto& p) { return std::string(p.param.label); });

TEST(SelectAndCopyProps, EraseThenCancelLeavesTheSetEmpty) {
    World world(kTwoModels);
    portable::HeadlessRuntime runtime;
    runtime.Expect<select::frmFiles>("files", [](select::frmFiles& f) { f.PressEscape(); });
    EraseCustomProps(world.target());
    SelectAndCopyProps(CopySettings(false, false), runtime, world.refs(), world.target());
    EXPECT_TRUE(world.Result().empty());
}

// More than 32,767 properties offered in all: the running total overflows
// before the dialog shows, and nothing is written.
TEST(SelectAndCopyProps, TotalAbove32767Overflows) {
    Scene scene{{{"Title", "t"}}, {{"C:/Work/A.ipt", {}}, {"C:/Work/B.ipt", {}}}};
    for (int i = 0; i < 16384; ++i) {
        scene.models[0].props.push_back({"A" + std::to_string(i), i});
        scene.models[1].props.push_back({"B" + std::to_string(i), i});
    }
    World world(scene);
    portable::HeadlessRuntime runtime;
    try {
        SelectAndCopyProps(CopySettings(false, false), runtime, world.refs(), world.target());
        ADD_FAILURE() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    }
    EXPECT_TRUE(runtime.Shown().empty());
    EXPECT_EQ(world.Result(), (Props{{"Title", "t"}}));
}

}  // namespace
}  // namespace bm::transfer::testing
