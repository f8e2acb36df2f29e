// The direct and the selective copy against the in-memory host: target
// names, the case-blind merge, the settings that steer it, and the erase.

#include <gtest/gtest.h>

#include "core/error.h"
#include "tests/transfer/transfer_testing.h"

namespace bm::transfer::testing {
namespace {

using ::testing::Combine;
using ::testing::Values;
using ::testing::ValuesIn;

constexpr CopyPath kPaths[] = {CopyPath::kDirect, CopyPath::kSelectAll};

// The worked example: a model Bracket with " Part No " and Material, a
// drawing that already has MATERIAL.
struct WorkedRow {
    const char* label;
    bool prefaceModel;
    bool updateExistOnly;
    Props expected;
};

const WorkedRow kWorkedRows[] = {
    {"NoPrefixAddAll", false, false, {{"MATERIAL", "Steel"}, {"Part No", "P-100"}}},
    {"NoPrefixExistingOnly", false, true, {{"MATERIAL", "Steel"}}},
    {"PrefixAddAll",
     true,
     false,
     {{"MATERIAL", "Aluminium"}, {"Bracket_Part No", "P-100"}, {"Bracket_Material", "Steel"}}},
    {"PrefixExistingOnly", true, true, {{"MATERIAL", "Aluminium"}}},
};

void PrintTo(const WorkedRow& r, std::ostream* os) {
    *os << r.label << ": PrefaceModel " << r.prefaceModel << ", UpdateExistOnly "
        << r.updateExistOnly << ", expected ";
    PrintProps(r.expected, os);
}

class WorkedExample : public ::testing::TestWithParam<std::tuple<WorkedRow, CopyPath>> {};

TEST_P(WorkedExample, GivesTheTableResult) {
    const auto& [row, path] = GetParam();
    World world({{{"MATERIAL", "Aluminium"}},
                 {{"C:/Work/Bracket.ipt", {{" Part No ", "P-100"}, {"Material", "Steel"}}}}});
    portable::HeadlessRuntime runtime;
    RunCopy(world, path, CopySettings(row.prefaceModel, row.updateExistOnly), runtime);
    EXPECT_EQ(world.Result(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, WorkedExample, Combine(ValuesIn(kWorkedRows), ValuesIn(kPaths)),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).label) +
                                    PathName(std::get<1>(p.param));
                         });

// Merge rules, each a scene and the drawing it must leave.
struct MergeCase {
    const char* label;
    Scene scene;
    bool prefaceModel;
    bool updateExistOnly;
    Props expected;
};

const MergeCase kMergeCases[] = {
    {"BlanksTrimmedFromNamesAndPrefix",
     {{}, {{"C:/Work/Bracket.ipt", {{"  Part No  ", "P-1"}, {"\tTabbed ", "t"}}, host::kPartDocument, "  Bracket "}}},
     true,
     false,
     {{"Bracket_Part No", "P-1"}, {"Bracket_\tTabbed", "t"}}},
    {"InnerBlanksStay",
     {{}, {{"C:/Work/Bracket.ipt", {{" Drawn  By ", "ann"}}}}},
     false,
     false,
     {{"Drawn  By", "ann"}}},
    {"CaseBlindMatchKeepsDrawingName",
     {{{"part no", "old"}, {"Matériau", "Alu"}},
      {{"C:/Work/Bracket.ipt", {{"PART NO", "P-1"}, {"MATÉRIAU", "Steel"}}}}},
     false,
     false,
     {{"part no", "P-1"}, {"Matériau", "Steel"}}},
    {"FirstOfCaseDuplicatesTakesTheValue",
     {{{"Rev", "A"}, {"REV", "B"}}, {{"C:/Work/Bracket.ipt", {{"rev", "C"}}}}},
     false,
     false,
     {{"Rev", "C"}, {"REV", "B"}}},
    {"LastModelWinsAndFirstSpellingStays",
     {{},
      {{"C:/Work/Bracket.ipt", {{"Finish", "Paint"}}},
       {"C:/Work/Pin.ipt", {{"FINISH", "Zinc"}}}}},
     false,
     false,
     {{"Finish", "Zinc"}}},
    {"PrefixKeepsModelsApart",
     {{},
      {{"C:/Work/Bracket.ipt", {{"Finish", "Paint"}}},
       {"C:/Work/Pin.ipt", {{"Finish", "Zinc"}}}}},
     true,
     false,
     {{"Bracket_Finish", "Paint"}, {"Pin_Finish", "Zinc"}}},
    {"SameModelTwiceWithPrefixMerges",
     {{}, {{"C:/Work/Pin.ipt", {{"Finish", "Zinc"}}}, {"C:/Spare/Pin.ipt", {{"finish", "Nickel"}}}}},
     true,
     false,
     {{"Pin_Finish", "Nickel"}}},
    {"TypesKept",
     {{{"Weight", "heavy"}},
      {{"C:/Work/Bracket.ipt",
        {{"Weight", 2.5},
         {"Count", std::int32_t{7}},
         {"Small", std::int16_t{3}},
         {"Issued", Date{45000.25}},
         {"Approved", true},
         {"Blank", Variant()}}}}},
     false,
     false,
     {{"Weight", 2.5},
      {"Count", std::int32_t{7}},
      {"Small", std::int16_t{3}},
      {"Issued", Date{45000.25}},
      {"Approved", true},
      {"Blank", Variant()}}},
    {"NoReferencesWritesNothing", {{{"Title", "t"}}, {}}, false, false, {{"Title", "t"}}},
    {"EmptyModelContributesNothing",
     {{}, {{"C:/Work/Empty.ipt", {}}, {"C:/Work/Pin.ipt", {{"X", "1"}}}}},
     false,
     false,
     {{"X", "1"}}},
    {"ExistingOnlySkipsMissingNames",
     {{{"Title", "t"}}, {{"C:/Work/Pin.ipt", {{"TITLE", "T2"}, {"New", "n"}}}}},
     false,
     true,
     {{"Title", "T2"}}},
    {"AssemblyAndPresentationModelsCopyToo",
     {{},
      {{"C:/Work/Frame.iam", {{"A", "1"}}, host::kAssemblyDocument},
       {"C:/Work/Show.ipn", {{"B", "2"}}, host::kPresentationDocument}}},
     false,
     false,
     {{"A", "1"}, {"B", "2"}}},
};

void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.label << ": PrefaceModel " << c.prefaceModel << ", UpdateExistOnly "
        << c.updateExistOnly << ", expected ";
    PrintProps(c.expected, os);
    *os << "\n  ";
    PrintTo(c.scene, os);
}

class MergeRules : public ::testing::TestWithParam<std::tuple<MergeCase, CopyPath>> {};

TEST_P(MergeRules, LeaveTheExpectedDrawing) {
    const auto& [c, path] = GetParam();
    World world(c.scene);
    portable::HeadlessRuntime runtime;
    RunCopy(world, path, CopySettings(c.prefaceModel, c.updateExistOnly), runtime);
    EXPECT_EQ(world.Result(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MergeRules, Combine(ValuesIn(kMergeCases), ValuesIn(kPaths)),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).label) +
                                    PathName(std::get<1>(p.param));
                         });

// The merge must find a property that an earlier merge of the same run
// appended, and must not be fooled by a name that only looks similar.
TEST(IndexedMerge, SeesWhatTheRunAddedAndNothingElse) {
    World world({{{"Note ", "spaced"}}, {}});
    IndexedMerge merge(world.target(), NameMatch::kCaseBlind);
    merge.Merge("Ölstand", "1", false);
    merge.Merge("ÖLSTAND", "2", false);
    merge.Merge("Note", "3", false);  // the drawing's "Note " is another name
    merge.Merge("note", "4", true);
    EXPECT_EQ(world.Result(), (Props{{"Note ", "spaced"}, {"Ölstand", "2"}, {"Note", "4"}}));
}

TEST(IndexedMerge, ReadsEachDrawingNameAtMostOnce) {
    World world({{{"A", "1"}, {"B", "2"}, {"C", "3"}}, {}});
    IndexedMerge merge(world.target(), NameMatch::kCaseBlind);
    merge.Merge("b", "x", false);
    merge.Merge("a", "y", false);
    EXPECT_EQ(world.probe().Calls("PropName"), 2);  // A and B, read once each
    merge.Merge("Z", "z", false);
    merge.Merge("z", "w", false);
    EXPECT_EQ(world.probe().Calls("PropName"), 3);
    EXPECT_EQ(world.probe().Calls("Enumerate"), 1);
    EXPECT_EQ(world.probe().Calls("Count"), 0);
    EXPECT_EQ(world.Result(), (Props{{"A", "y"}, {"B", "x"}, {"C", "3"}, {"Z", "w"}}));
}

TEST(EraseCustomProps, EmptiesSetsOfEverySize) {
    for (int n : {0, 1, 5}) {
        Scene scene;
        for (int i = 0; i < n; ++i) scene.drawing.push_back({"P" + std::to_string(i), i});
        World world(scene);
        EraseCustomProps(world.target());
        EXPECT_TRUE(world.Result().empty()) << n << " properties";
        EXPECT_EQ(world.probe().Calls("PropDelete"), n);
    }
}

TEST(EraseCustomProps, ThenExistingOnlyLeavesTheSetEmpty) {
    for (CopyPath path : kPaths) {
        World world({{{"Material", "Alu"}, {"Title", "t"}},
                     {{"C:/Work/Bracket.ipt", {{"Material", "Steel"}, {"Title", "T"}}}}});
        portable::HeadlessRuntime runtime;
        EraseCustomProps(world.target());
        RunCopy(world, path, CopySettings(false, true), runtime);
        EXPECT_TRUE(world.Result().empty()) << PathName(path);
    }
}

TEST(EraseCustomProps, RefusedDeletionStopsWithEarlierOnesGone) {
    World world({{{"A", "1"}, {"B", "2"}, {"C", "3"}}, {}});
    world.probe().FailOperation("PropDelete", 2);
    EXPECT_THROW(EraseCustomProps(world.target()), Error);
    EXPECT_EQ(world.Result(), (Props{{"B", "2"}, {"C", "3"}}));
}

// A model the host cannot open ends the copy: the direct copy keeps what it
// wrote for the models before it and tells its caller; the selective copy
// fails while filling the dialog, before anything is written.
TEST(CopyFailure, UnopenableModelReachesTheCaller) {
    const Scene scene{{},
                      {{"C:/Work/Bracket.ipt", {{"Material", "Steel"}}},
                       {"C:/Lost/Pin.ipt", {}, host::kPartDocument, "", true},
                       {"C:/Work/Frame.iam", {{"Finish", "Zinc"}}, host::kAssemblyDocument}}};
    const struct {
        CopyPath path;
        Props expected;
    } rows[] = {{CopyPath::kDirect, {{"Material", "Steel"}}}, {CopyPath::kSelectAll, {}}};
    for (const auto& row : rows) {
        World world(scene);
        portable::HeadlessRuntime runtime;
        try {
            RunCopy(world, row.path, CopySettings(false, false), runtime);
            ADD_FAILURE() << PathName(row.path) << ": the failure did not reach the caller";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::HostFailure) << PathName(row.path);
        }
        EXPECT_EQ(world.Result(), row.expected) << PathName(row.path);
        EXPECT_TRUE(runtime.Shown().empty()) << PathName(row.path);
    }
}

// The 16-bit count: a set may grow to 32,767 properties, and the merge that
// finds more fails before it writes, as a fresh Count would.
struct OverflowCase {
    const char* label;
    int drawingSize;
    int modelSize;
    int expectedSize;
};

void PrintTo(const OverflowCase& c, std::ostream* os) {
    *os << c.label << ": " << c.drawingSize << " in the drawing, " << c.modelSize
        << " in the model";
}

class CountOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(CountOverflow, StopsWhereTheCountWouldOverflow) {
    const OverflowCase& c = GetParam();
    Scene scene;
    for (int i = 0; i < c.drawingSize; ++i) scene.drawing.push_back({"D" + std::to_string(i), i});
    Model model{"C:/Work/Pin.ipt", {}};
    for (int i = 0; i < c.modelSize; ++i) model.props.push_back({"M" + std::to_string(i), i});
    scene.models.push_back(model);

    World indexed(scene);
    World scanned(scene);
    const Settings s = CopySettings(false, false);
    ScanMerge scan(scanned.target());
    const bool overflows = c.expectedSize < c.drawingSize + c.modelSize;
    for (auto* world : {&indexed, &scanned}) {
        try {
            if (world == &indexed) CopyAllProps(s, world->refs(), world->target());
            else CopyAllProps(s, world->refs(), scan);
            EXPECT_FALSE(overflows);
        } catch (const Error& e) {
            EXPECT_TRUE(overflows) << e.what();
            EXPECT_EQ(e.kind(), ErrorKind::Overflow);
        }
        EXPECT_EQ(static_cast<int>(world->Result().size()), c.expectedSize);
    }
    EXPECT_EQ(indexed.Result(), scanned.Result());
}

INSTANTIATE_TEST_SUITE_P(Sizes, CountOverflow,
                         Values(OverflowCase{"FillsToTheLimit", 32766, 1, 32767},
                                OverflowCase{"OneAddPastTheLimit", 32767, 3, 32768},
                                OverflowCase{"TooBigFromTheStart", 32768, 1, 32768},
                                OverflowCase{"TooBigButNothingToCopy", 32768, 0, 32768}),
                         [](const auto& p) { return std::string(p.param.label); });

TEST(CountOverflow, EraseRefusesAnUncountableSet) {
    Scene scene;
    for (int i = 0; i < 32768; ++i) scene.drawing.push_back({"D" + std::to_string(i), i});
    World world(scene);
    try {
        EraseCustomProps(world.target());
        ADD_FAILURE() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    }
    EXPECT_EQ(world.Result().size(), 32768u);
}

}  // namespace
}  // namespace bm::transfer::testing
