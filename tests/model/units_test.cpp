#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error_kind.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench {
namespace {

using bm::test::ErrorKindOf;

struct ConvertCase {
    const char* mass;
    const char* length;
    double value;
    Variant units;
    double expected;  // the exact quotient, correctly rounded
    const char* text;
};

class UnitConvertTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(UnitConvertTest, ConvertsFromInternalUnits) {
    const ConvertCase& c = GetParam();
    MemoryUnits units(std::make_shared<HostProbe>());
    units.set_units(c.mass, c.length);
    double value = c.value;
    EXPECT_EQ(units.UnitConvert(value, c.units), c.text);
    EXPECT_EQ(value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnitConvertTest,
    ::testing::Values(
        ConvertCase{"kg", "cm", 2.5, std::int32_t{11281}, 2.5, "2.5 kg"},
        ConvertCase{"g", "cm", 2.5, std::int32_t{11281}, 2500.0, "2500 g"},
        ConvertCase{"lbmass", "cm", 0.45359237, std::int32_t{11281}, 1.0, "1 lbmass"},
        ConvertCase{"ozmass", "cm", 0.45359237, std::int32_t{11281}, 16.0, "16 ozmass"},
        ConvertCase{"kg", "cm", 6.4516, "in in", 1.0, "1 in^2"},
        ConvertCase{"kg", "cm", 929.0304, "ft ft", 1.0, "1 ft^2"},
        // The double nearest 16.387064 lies below it: the exact quotient
        // rounds to just under 1, printed in full rather than prettified.
        ConvertCase{"kg", "cm", 16.387064, "in in in", 0.9999999999999999,
                    "0.9999999999999999 in^3"},
        ConvertCase{"kg", "cm", 1.0, "mm mm mm", 1000.0, "1000 mm^3"},
        ConvertCase{"kg", "cm", 2.0, "cm mm", 20.0, "20 cm*mm"},
        ConvertCase{"kg", "cm", 250.0, "m", 2.5, "2.5 m"},
        ConvertCase{"kg", "ft", 30.48, std::int32_t{11266}, 1.0, "1 ft"},
        ConvertCase{"kg", "cm", 0.0, "in in", 0.0, "0 in^2"},
        ConvertCase{"kg", "cm", -3.0, std::int16_t{11281}, -3.0, "-3 kg"}));

// Whatever the value, the text starts with a number that reads back as the
// very double handed back by reference, then one blank and the unit.
TEST(UnitConvertText, NumberReadsBackExactly) {
    MemoryUnits units(std::make_shared<HostProbe>());
    units.set_units("lbmass", "in");
    const std::vector<double> values = {0.1, 1.0 / 3.0, 1e-7, 123456.789, 2e20 / 3.0, 9.80665};
    const std::vector<Variant> unitList = {std::int32_t{11281}, std::int32_t{11266}, "in in",
                                           "ft ft ft", "mil mm"};
    for (double v : values) {
        for (const Variant& u : unitList) {
            double value = v;
            const std::string text = units.UnitConvert(value, u);
            double read = 0.0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), read);
            ASSERT_EQ(ec, std::errc()) << text;
            EXPECT_EQ(read, value) << text;
            EXPECT_EQ(*end, ' ') << text;
            EXPECT_NE(text.find_first_not_of(' ', static_cast<std::size_t>(end - text.data())),
                      std::string::npos)
                << text;
        }
    }
}

struct RefusedCase {
    const char* label;
    const char* length;
    Variant units;
};

class UnitConvertRefusal : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(UnitConvertRefusal, FailsAndLeavesTheValue) {
    MemoryUnits units(std::make_shared<HostProbe>());
    units.set_units("kg", GetParam().length);
    double value = 4.25;
    EXPECT_EQ(ErrorKindOf([&] { units.UnitConvert(value, GetParam().units); }),
              ErrorKind::HostFailure);
    EXPECT_EQ(value, 4.25);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnitConvertRefusal,
    ::testing::Values(RefusedCase{"UnknownName", "cm", "in furlong"},
                      RefusedCase{"Empty", "cm", ""}, RefusedCase{"Blanks", "cm", "   "},
                      RefusedCase{"FourNames", "cm", "in in in in"},
                      RefusedCase{"MassInExpression", "cm", "kg"},
                      RefusedCase{"WrongCase", "cm", "IN IN"},
                      RefusedCase{"UnknownCode", "cm", std::int32_t{11267}},
                      RefusedCase{"CodeAsDouble", "cm", 11281.0},
                      RefusedCase{"UnknownDocumentLength", "parsec", std::int32_t{11266}}),
    [](const auto& c) { return std::string(c.param.label); });

TEST(UnitText, NamesTheDocumentUnitsForTheTwoCodes) {
    MemoryHost host;
    auto part = host.AddPart("C:/Work/Bracket.ipt");
    part->SetUnits("lbmass", "in");
    auto units = part->DocUnits();
    EXPECT_EQ(units->UnitText(11281), "lbmass");
    EXPECT_EQ(units->UnitText(11266), "in");
    EXPECT_EQ(ErrorKindOf([&] { units->UnitText(0); }), ErrorKind::HostFailure);
}

}  // namespace
}  // namespace bm::workbench
