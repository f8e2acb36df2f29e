#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/error_kind.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench {
namespace {

using bm::test::ErrorKindOf;

class PropertySetTest : public ::testing::Test {
protected:
    PropertySetTest() {
        part_ = host_.AddPart("C:\\Work\\Bracket.ipt");
        part_->AddProp("Text", "Steel")
            .AddProp("Long", std::int32_t{7})
            .AddProp("Double", 2.5)
            .AddProp("Date", Date{37000.5})
            .AddProp("Bool", true);
        set_ = part_->DocPropertySets()->Item(host::UserDefinedFmtid);
        host_.Probe().ResetCounts();
    }

    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& p : set_->Enumerate()) out.push_back(p->PropName());
        return out;
    }

    MemoryHost host_;
    std::shared_ptr<MemoryDocument> part_;
    host::Ref<host::PropertySet> set_;
};

TEST_F(PropertySetTest, KeepsInsertionOrderAndValueTypes) {
    set_->PropAdd(std::int16_t{3}, "Added");
    ASSERT_EQ(set_->Count(), 6);
    const std::vector<VarType> types = {VarType::kString, VarType::kLong,    VarType::kDouble,
                                        VarType::kDate,   VarType::kBoolean, VarType::kInteger};
    for (std::int32_t i = 1; i <= set_->Count(); ++i)
        EXPECT_EQ(set_->Item(i)->PropValue().type(), types[static_cast<std::size_t>(i - 1)])
            << "position " << i;
    EXPECT_EQ(names(), (std::vector<std::string>{"Text", "Long", "Double", "Date", "Bool", "Added"}));
    EXPECT_EQ(part_->Prop("Date"), Variant(Date{37000.5}));
}

TEST_F(PropertySetTest, ItemHandsOutTheSameLiveProperty) {
    set_->Item(3)->PropValue(Variant("now text"));
    EXPECT_EQ(part_->Prop("Double"), Variant("now text"));
    EXPECT_EQ(set_->Item(3), set_->Enumerate()[2]);
}

class PropertyPositionTest : public PropertySetTest,
                             public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(PropertyPositionTest, OutsideOneToCountIsAHostFailure) {
    EXPECT_EQ(ErrorKindOf([&] { set_->Item(GetParam()); }), ErrorKind::HostFailure);
    EXPECT_EQ(host_.Probe().Calls("Item"), 1);
}

INSTANTIATE_TEST_SUITE_P(Positions, PropertyPositionTest, ::testing::Values(0, -1, 6, 32767));

TEST_F(PropertySetTest, DeleteClosesTheGapAndRetiresTheProperty) {
    auto first = set_->Item(1);
    first->PropDelete();
    EXPECT_EQ(set_->Count(), 4);
    EXPECT_EQ(set_->Item(1)->PropName(), "Long");
    EXPECT_EQ(ErrorKindOf([&] { first->PropName(); }), ErrorKind::HostFailure);
    EXPECT_EQ(ErrorKindOf([&] { first->PropDelete(); }), ErrorKind::HostFailure);

    // Deleting by position 1 as often as Count said empties the set.
    for (std::int32_t n = set_->Count(); n > 0; --n) set_->Item(1)->PropDelete();
    EXPECT_TRUE(part_->Props().empty());
}

TEST_F(PropertySetTest, AddRefusesAnExactDuplicateButNotAnotherCase) {
    EXPECT_EQ(ErrorKindOf([&] { set_->PropAdd(Variant("x"), "Text"); }), ErrorKind::HostFailure);
    EXPECT_EQ(set_->PropAdd(Variant("x"), "TEXT")->PropName(), "TEXT");
    EXPECT_EQ(set_->Count(), 6);
}

TEST_F(PropertySetTest, RefusesValuesAPropertyCannotHold) {
    const std::vector<Variant> refused = {Variant(Bytes{1, 2}), Variant(ObjectRef{})};
    for (const Variant& v : refused) {
        EXPECT_EQ(ErrorKindOf([&] { set_->Item(1)->PropValue(v); }), ErrorKind::HostFailure);
        EXPECT_EQ(ErrorKindOf([&] { set_->PropAdd(v, "New"); }), ErrorKind::HostFailure);
    }
    EXPECT_EQ(part_->Prop("Text"), Variant("Steel"));
    EXPECT_EQ(part_->Prop("New"), std::nullopt);
}

TEST_F(PropertySetTest, OnlyTheUserDefinedFormatIdNamesASet) {
    auto sets = part_->DocPropertySets();
    EXPECT_EQ(sets->Item("{d5cdd505-2e9c-101b-9397-08002b2cf9ae}"), set_);
    EXPECT_EQ(ErrorKindOf([&] { sets->Item("{F29F85E0-4FF9-1068-AB91-08002B27B3D9}"); }),
              ErrorKind::HostFailure);
    EXPECT_EQ(ErrorKindOf([&] { sets->Item(""); }), ErrorKind::HostFailure);
}

// ---- file references ----------------------------------------------------------

TEST(FileRefs, AHeldDocumentAnswersThroughItsReference) {
    MemoryHost host;
    auto part = host.AddPart("C:/Work/Bracket.ipt");
    part->SetDisplayName("Bracket:1");
    auto drawing = host.AddDrawing("C:/Work/Bracket.idw");
    drawing->AddRef(part);

    auto ref = drawing->FileRefs()->Item(1);
    EXPECT_EQ(ref->FileRefName(), "Bracket:1");
    EXPECT_EQ(ref->FileRefFullName(), "C:/Work/Bracket.ipt");
    EXPECT_EQ(ref->FileRefKind(), host::kPartDocument);
    EXPECT_EQ(ref->FileRefDocument(), part);
}

struct UnresolvedCase {
    const char* path;
    const char* name;
    std::int32_t kind;
};

class UnresolvedRefTest : public ::testing::TestWithParam<UnresolvedCase> {};

TEST_P(UnresolvedRefTest, NamesFromThePathAndCannotGiveADocument) {
    MemoryHost host;
    auto drawing = host.AddDrawing("C:/Work/Sheet.idw");
    drawing->AddUnresolvedRef(GetParam().path);
    auto ref = drawing->FileRefs()->Item(1);
    EXPECT_EQ(ref->FileRefName(), GetParam().name);
    EXPECT_EQ(ref->FileRefFullName(), GetParam().path);
    EXPECT_EQ(ref->FileRefKind(), GetParam().kind);
    EXPECT_EQ(ErrorKindOf([&] { ref->FileRefDocument(); }), ErrorKind::HostFailure);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnresolvedRefTest,
    ::testing::Values(UnresolvedCase{"C:\\Lost\\Pin.ipt", "Pin", host::kPartDocument},
                      UnresolvedCase{"C:/Lost/Frame.IAM", "Frame", host::kAssemblyDocument},
                      UnresolvedCase{"//server/d/Old.idw", "Old", host::kDrawingDocument},
                      UnresolvedCase{"Explode.ipn", "Explode", host::kPresentationDocument},
                      UnresolvedCase{"C:/Lost/v1.2/notes.txt", "notes", 0},
                      UnresolvedCase{"C:/Lost/v1.2/README", "README", 0},
                      UnresolvedCase{"C:/Lost/.ipt", ".ipt", 0}));

// ---- definitions and mass properties -------------------------------------------

struct DefinitionCase {
    std::int32_t kind;
    bool part;
    bool assembly;
};

class DefinitionTest : public ::testing::TestWithParam<DefinitionCase> {};

TEST_P(DefinitionTest, OnlyPartsAndAssembliesHaveTheirOwn) {
    MemoryHost host;
    auto doc = host.AddDocument(GetParam().kind, "C:/Work/Thing");
    auto answers = [](auto call) { return !ErrorKindOf(call).has_value(); };
    EXPECT_EQ(answers([&] { doc->PartDefinition(); }), GetParam().part);
    EXPECT_EQ(answers([&] { doc->AssemblyDefinition(); }), GetParam().assembly);
    EXPECT_EQ(doc->DocKind(), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DefinitionTest,
                         ::testing::Values(DefinitionCase{host::kPartDocument, true, false},
                                           DefinitionCase{host::kAssemblyDocument, false, true},
                                           DefinitionCase{host::kDrawingDocument, false, false},
                                           DefinitionCase{host::kPresentationDocument, false,
                                                          false}));

TEST(MassProperties, ReportInternalUnitsAndRecordTheAccuracy) {
    MemoryHost host;
    auto assembly = host.AddAssembly("C:/Work/Frame.iam");
    assembly->SetMassFigures(2500.0, 120.0, 320.0);
    EXPECT_EQ(assembly->LastMassAccuracy(), std::nullopt);

    auto mass = assembly->AssemblyDefinition()->DefinitionMassProps();
    mass->MassAccuracy(24580);
    EXPECT_EQ(mass->MassValue(), 2500.0);
    EXPECT_EQ(mass->AreaValue(), 120.0);
    EXPECT_EQ(mass->VolumeValue(), 320.0);
    EXPECT_EQ(assembly->LastMassAccuracy(), 24580);
}

}  // namespace
}  // namespace bm::workbench
