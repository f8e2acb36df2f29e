// The physical properties: the value text, the units, which quantities are
// written and in what order, and the exact-case names.

#include <gtest/gtest.h>

#include "core/error.h"
#include "tests/transfer/transfer_testing.h"

namespace bm::transfer::testing {
namespace {

struct TextCase {
    double x;
    std::int32_t precision;
    std::int32_t zeroFlag;
    const char* expected;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << shortest_text(c.x) << " to " << c.precision << " places, zero flag " << c.zeroFlag;
}

class ValueText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ValueText, RoundsFormatsAndTrims) {
    const TextCase& c = GetParam();
    EXPECT_EQ(PhysicalValueText(c.x, c.precision, c.zeroFlag), c.expected)
        << c.x << " at " << c.precision << " places, zero flag " << c.zeroFlag;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ValueText,
    ::testing::Values(TextCase{0.46, 1, 1, ".5"}, TextCase{12.34, 1, 1, "12.3"},
                      TextCase{0.0, 1, 1, ".0"}, TextCase{0.4, 0, 1, ""},
                      TextCase{7.5, 0, 1, "8"}, TextCase{6.5, 0, 1, "6"},
                      TextCase{12.0, 0, 0, "12"}, TextCase{12.0, 0, 1, "12"},
                      TextCase{0.456, 2, 0, "0.46"}, TextCase{0.456, 2, 1, ".46"},
                      TextCase{2.5, 0, 0, "2"}, TextCase{3.5, 0, 0, "4"},
                      TextCase{0.25, 1, 0, "0.2"}, TextCase{0.125, 2, 0, "0.12"},
                      TextCase{0.125, 2, 1, ".12"}, TextCase{1234567.891, 3, 0, "1234567.891"},
                      TextCase{-0.5, 1, 1, "-0.5"}, TextCase{0.04, 1, 7, ".0"}, TextCase{0.05, 1, 0, "0.1"}));

TEST(ValueText, NegativePrecisionIsInvalid) {
    try {
        PhysicalValueText(1.0, -1, 0);
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
    }
}

// A drawing whose first reference is a part of 5 lb, 3 in^2 and 2 in^3 in
// the host's internal units (grams, cm^2, cm^3); a second one is ignored.
struct PhysicalWorld {
    explicit PhysicalWorld(Props start = {}, std::int32_t firstKind = host::kPartDocument)
        : world({std::move(start), {}}) {
        first = world.host.AddDocument(firstKind, "C:/Work/First.ipt");
        first->SetUnits("lbmass", "in").SetMassFigures(2267.96185, 3 * 6.4516, 2 * 16.387064);
        auto second = world.host.AddPart("C:/Work/Second.ipt");
        second->SetUnits("kg", "mm").SetMassFigures(1.0, 1.0, 1.0);
        world.drawing->AddRef(first).AddRef(second);
    }
    void Run(const Settings& s) { GetPhysicalProps(s, *world.drawing, world.target()); }

    World world;
    std::shared_ptr<workbench::MemoryDocument> first;
};

Settings PhysicalSettings(std::int32_t mass, std::int32_t area, std::int32_t volume,
                          std::int32_t precision = 2) {
    Settings s;
    s.Mass(mass);
    s.Area(area);
    s.Volume(volume);
    s.MassPrec(precision);
    s.AreaPrec(precision);
    s.VolumePrec(precision);
    return s;
}

TEST(GetPhysicalProps, WritesSixTextsInOrder) {
    for (std::int32_t kind : {host::kPartDocument, host::kAssemblyDocument}) {
        PhysicalWorld pw({}, kind);
        pw.Run(PhysicalSettings(1, 1, 1));
        EXPECT_EQ(pw.world.Result(), (Props{{kMassValueName, "5.00"},
                                            {kMassUnitsName, "lb"},
                                            {kAreaValueName, "3.00"},
                                            {kAreaUnitsName, "in^2"},
                                            {kVolumeValueName, "2.00"},
                                            {kVolumeUnitsName, "in^3"}}))
            << "kind " << kind;
        const bool part = kind == host::kPartDocument;
        EXPECT_EQ(pw.world.probe().Calls("PartDefinition"), part ? 1 : 0);
        EXPECT_EQ(pw.world.probe().Calls("AssemblyDefinition"), part ? 0 : 1);
        EXPECT_EQ(pw.first->LastMassAccuracy(), 24580);
    }
}

// The units texts, and the unit expressions that the values show were
// converted with: a wrong expression gives another number.
struct UnitsCase {
    const char* mass;
    const char* length;
    Props expected;
};

void PrintTo(const UnitsCase& c, std::ostream* os) {
    *os << "mass in " << c.mass << ", length in " << c.length;
}

class PhysicalUnits : public ::testing::TestWithParam<UnitsCase> {};

TEST_P(PhysicalUnits, AreWrittenAsTheModelNamesThem) {
    const UnitsCase& c = GetParam();
    PhysicalWorld pw;
    pw.first->SetUnits(c.mass, c.length);
    pw.Run(PhysicalSettings(1, 1, 1, 3));
    EXPECT_EQ(pw.world.Result(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Units, PhysicalUnits,
    ::testing::Values(
        UnitsCase{"lbmass", "in",
                  {{kMassValueName, "5.000"}, {kMassUnitsName, "lb"},
                   {kAreaValueName, "3.000"}, {kAreaUnitsName, "in^2"},
                   {kVolumeValueName, "2.000"}, {kVolumeUnitsName, "in^3"}}},
        UnitsCase{"kg", "mm",
                  {{kMassValueName, "2.268"}, {kMassUnitsName, "kg"},
                   {kAreaValueName, "1935.480"}, {kAreaUnitsName, "mm^2"},
                   {kVolumeValueName, "32774.128"}, {kVolumeUnitsName, "mm^3"}}}));

// Only the enabled quantities are written, but all three are read and
// converted every time.
struct FlagsCase {
    std::int32_t mass, area, volume;
    std::vector<std::string> names;
};

void PrintTo(const FlagsCase& c, std::ostream* os) {
    *os << "Mass " << c.mass << ", Area " << c.area << ", Volume " << c.volume;
}

class PhysicalFlags : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(PhysicalFlags, ChooseWhatIsWritten) {
    const FlagsCase& c = GetParam();
    PhysicalWorld pw;
    pw.Run(PhysicalSettings(c.mass, c.area, c.volume));
    std::vector<std::string> names;
    for (const auto& [name, value] : pw.world.Result()) {
        names.push_back(name);
        EXPECT_EQ(value.type(), VarType::kString) << name;
    }
    EXPECT_EQ(names, c.names);
    auto& probe = pw.world.probe();
    for (const char* op : {"MassValue", "AreaValue", "VolumeValue"}) EXPECT_EQ(probe.Calls(op), 1) << op;
    EXPECT_EQ(probe.Calls("UnitConvert"), 3);
    EXPECT_EQ(probe.Calls("UnitText"), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, PhysicalFlags,
    ::testing::Values(FlagsCase{1, 0, 0, {kMassValueName, kMassUnitsName}},
                      FlagsCase{0, 1, 0, {kAreaValueName, kAreaUnitsName}},
                      FlagsCase{0, 0, 1, {kVolumeValueName, kVolumeUnitsName}},
                      FlagsCase{5, 0, -1, {kMassValueName, kMassUnitsName, kVolumeValueName, kVolumeUnitsName}},
                      FlagsCase{0, 0, 0, {}}));

// The six names match exactly: another letter case is another property.
struct ExactCase {
    const char* label;
    Props start;
    Props expected;
};

void PrintTo(const ExactCase& c, std::ostream* os) {
    *os << c.label << ": ";
    PrintProps(c.start, os);
}

class PhysicalNames : public ::testing::TestWithParam<ExactCase> {};

TEST_P(PhysicalNames, MatchExactly) {
    const ExactCase& c = GetParam();
    PhysicalWorld pw(c.start);
    pw.Run(PhysicalSettings(0, 1, 0, 1));
    EXPECT_EQ(pw.world.Result(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PhysicalNames,
    ::testing::Values(
        ExactCase{"SameNameUpdatedInPlace",
                  {{kAreaValueName, "1"}, {"Title", "t"}},
                  {{kAreaValueName, "3.0"}, {"Title", "t"}, {kAreaUnitsName, "in^2"}}},
        ExactCase{"OtherCaseIsAnotherProperty",
                  {{"model_area_value", "1"}},
                  {{"model_area_value", "1"}, {kAreaValueName, "3.0"}, {kAreaUnitsName, "in^2"}}},
        ExactCase{"FirstOfDuplicatesUpdated",
                  {{kAreaUnitsName, "a"}, {kAreaUnitsName, "b"}},
                  {{kAreaUnitsName, "in^2"}, {kAreaUnitsName, "b"}, {kAreaValueName, "3.0"}}},
        ExactCase{"NumberBecomesText",
                  {{kAreaValueName, 7.0}},
                  {{kAreaValueName, "3.0"}, {kAreaUnitsName, "in^2"}}}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(GetPhysicalProps, IgnoresUpdateExistOnlyAndPrefaceModel) {
    PhysicalWorld pw;
    Settings s = PhysicalSettings(1, 0, 0);
    s.UpdateExistOnly(1);
    s.PrefaceModel(1);
    pw.Run(s);
    EXPECT_EQ(pw.world.Result(), (Props{{kMassValueName, "5.00"}, {kMassUnitsName, "lb"}}));
}

// A first reference that is neither a part nor an assembly writes nothing
// and reports nothing; the model behind it is not even opened.
TEST(GetPhysicalProps, OtherFirstKindsWriteNothing) {
    for (std::int32_t kind : {std::int32_t{host::kDrawingDocument}, std::int32_t{host::kPresentationDocument}, std::int32_t{0}}) {
        World world({{{"Title", "t"}}, {}});
        if (kind == 0) {
            world.drawing->AddUnresolvedRef("C:/Work/Notes.txt");
        } else {
            world.drawing->AddRef(world.host.AddDocument(kind, "C:/Work/Other"));
        }
        world.drawing->AddRef(world.host.AddPart("C:/Work/Second.ipt"));
        EXPECT_NO_THROW(GetPhysicalProps(PhysicalSettings(1, 1, 1), *world.drawing, world.target()))
            << "kind " << kind;
        EXPECT_EQ(world.Result(), (Props{{"Title", "t"}})) << "kind " << kind;
        EXPECT_EQ(world.probe().Calls("FileRefDocument"), 0) << "kind " << kind;
    }
}

TEST(GetPhysicalProps, DrawingWithoutReferencesFailsAtTheFirstStep) {
    World world({{{"Title", "t"}}, {}});
    try {
        GetPhysicalProps(PhysicalSettings(1, 1, 1), *world.drawing, world.target());
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::HostFailure);
    }
    EXPECT_EQ(world.probe().Calls("FileRefKind"), 0);
    EXPECT_EQ(world.Result(), (Props{{"Title", "t"}}));
}

// A negative precision fails when its value text is built: the quantities
// before it stay written.
TEST(GetPhysicalProps, NegativePrecisionFailsAtItsQuantity) {
    const struct {
        Settings::Field field;
        std::size_t written;
    } rows[] = {{Settings::kMassPrec, 0}, {Settings::kAreaPrec, 2}, {Settings::kVolumePrec, 4}};
    for (const auto& row : rows) {
        PhysicalWorld pw;
        Settings s = PhysicalSettings(1, 1, 1);
        s.put(row.field, -1);
        try {
            pw.Run(s);
            ADD_FAILURE() << Settings::property_name(row.field) << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
        }
        EXPECT_EQ(pw.world.Result().size(), row.written) << Settings::property_name(row.field);
    }
}

}  // namespace
}  // namespace bm::transfer::testing
