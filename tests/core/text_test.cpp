#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "core/convert.h"
#include "error_kind.h"

namespace bm {
namespace {

using test::ErrorKindOf;
using test::Localized;

// ---------------------------------------------------------------------------
// Leading number

struct LeadingCase {
    const char* text;
    double want;
};

void PrintTo(const LeadingCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class LeadingNumber : public testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingNumber, ReadsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(leading_number(GetParam().text), GetParam().want);
}

const LeadingCase kLeadingCases[] = {
    {"", 0},           {"kg 12", 0},     {"12.5 kg", 12.5}, {"12,5 kg", 12},
    {"  -3.25mm", -3.25}, {"1 2 3", 123}, {"\t1\n2\r3", 123}, {"1.2.3", 1.2},
    {".5", 0.5},       {"5.", 5},        {"-.5", -0.5},     {"+7", 7},
    {"- 7", -7},       {"--5", 0},       {"-", 0},          {".", 0},
    {"1e3", 1000},     {"1E+3x", 1000},  {"1D-2", 0.01},    {"1 e 2", 100},
    {"2.5e", 2.5},     {"2.5ex", 2.5},   {"e5", 0},         {"0.1", 0.1},
    {"1e-400", 0},     {"4.9e-324", 4.9e-324}, {"1.7976931348623157e308 lb", DBL_MAX},
    // Correct rounding, ties included, needs every digit.
    {"9007199254740993", 9007199254740992.0},
    {"1.00000000000000011102230246251565404236316680908203125", 1.0},
    {"1.00000000000000011102230246251565404236316680908203126", 1.0000000000000002},
    {"123456789012345678901234567890", 1.2345678901234568e29},
};
INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumber, testing::ValuesIn(kLeadingCases));

TEST(LeadingNumberLimits, NumberBeyondTheLargestDoubleOverflows) {
    EXPECT_EQ(ErrorKindOf([] { leading_number("1e400 mm"); }), ErrorKind::Overflow);
    EXPECT_EQ(ErrorKindOf([] { leading_number("2e308"); }), ErrorKind::Overflow);
    EXPECT_EQ(ErrorKindOf([] { leading_number("-1e99999999999999999999"); }),
              ErrorKind::Overflow);
}

// ---------------------------------------------------------------------------
// Number text

TEST(NumberText, FifteenSignificantDigits) {
    const struct {
        double x;
        const char* want;
    } cases[] = {
        {0.0, "0"},           {-0.0, "0"},        {12.0, "12"},         {0.46, "0.46"},
        {-3.5, "-3.5"},       {0.1 + 0.2, "0.3"}, {2.0 / 3.0, "0.666666666666667"},
        {999999999999999.0, "999999999999999"},   {999999999999999.9, "1E+15"},
        {1e15, "1E+15"},      {1234567890123456.0, "1.23456789012346E+15"},
        {1e14, "100000000000000"},                {1.5e20, "1.5E+20"},
        {1e-20, "1E-20"},     {1e-15, "0.000000000000001"},       {1.5e-16, "1.5E-16"},
        {-1.25e-300, "-1.25E-300"},               {DBL_MAX, "1.79769313486232E+308"},
        {5e-324, "4.94065645841247E-324"},
    };
    for (const auto& c : cases) EXPECT_EQ(number_text(c.x), c.want) << "x = " << c.want;
}

// ---------------------------------------------------------------------------
// Variant conversions

std::string Shown(const Variant& v) {
    return v.type() == VarType::kString ? "\"" + v.as_string() + "\"" : type_name(v.type());
}

struct ToLongCase {
    Variant value;
    std::optional<std::int32_t> want;  // nothing: the error below
    ErrorKind error = ErrorKind::TypeMismatch;
};

TEST(ToLong, CoercesEveryKindOfValue) {
    const ToLongCase cases[] = {
        {Variant(), 0},          {true, -1},              {false, 0},
        {std::int16_t{7}, 7},    {std::int32_t{-5}, -5},  {2.5, 2},
        {3.5, 4},                {Date{2.5}, 2},          {"12", 12},
        {Localized(" 2.5 "), 2}, {Localized("3.5"), 4},   {Localized("-1.5e1"), -15},
        {"+1E3", 1000},          {"1e-400", 0},           {"", {}},
        {"  ", {}},              {"abc", {}},             {"12abc", {}},
        {"1e", {}},              {Localized("."), {}},    {Localized("1.2.3"), {}},
        {"1 2", {}},             {Bytes{1, 2}, {}},       {std::make_shared<Object>(), {}},
        {"3e9", {}, ErrorKind::Overflow},    {"1e400", {}, ErrorKind::Overflow},
        {"-2e308", {}, ErrorKind::Overflow}, {3e9, {}, ErrorKind::Overflow},
    };
    for (const auto& c : cases) {
        if (c.want)
            EXPECT_EQ(to_long(c.value), *c.want) << Shown(c.value);
        else
            EXPECT_EQ(ErrorKindOf([&] { to_long(c.value); }), c.error) << Shown(c.value);
    }
}

TEST(IsNumeric, NumbersAndTextThatReadsAsOne) {
    const struct {
        Variant value;
        bool want;
    } cases[] = {
        {Date{1.0}, true}, {Variant(), false}, {Localized(" -1.5e3 "), true}, {"3e9", true},
        {"", false},       {"12a", false},     {"1e400", false},              {Bytes{}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_numeric(c.value), c.want) << Shown(c.value);
}

TEST(ToInteger, OverflowsBeyondSixteenBits) {
    EXPECT_EQ(to_integer(Variant(Localized("-32768.5"))), -32768);
    EXPECT_EQ(to_integer(Variant(true)), -1);
    EXPECT_EQ(ErrorKindOf([] { to_integer(Variant(std::int32_t{40000})); }),
              ErrorKind::Overflow);
    EXPECT_EQ(ErrorKindOf([] { to_integer(Variant(Localized("32767.5"))); }),
              ErrorKind::Overflow);
}

TEST(ToText, WritesEveryKindOfValue) {
    const struct {
        Variant value;
        std::string want;
    } cases[] = {
        {Variant(), ""},          {true, "True"},        {false, "False"},
        {std::int16_t{-7}, "-7"}, {std::int32_t{123456}, "123456"},
        {0.1 + 0.2, Localized("0.3")},                   {1.5e20, "1.5E+20"},
        {"abc", "abc"},           {Date{0.0}, "1899-12-30"},  {Date{60.0}, "1900-02-28"},
        {Date{45000.75}, "2023-03-15T18:00:00"},
        {Date{-1.25}, "1899-12-29T06:00:00"},  // before the epoch the time still counts forward
        {Date{0.99999999999}, "1899-12-31"},   {Date{-657434.0}, "0100-01-01"},
        {Date{2958465.5}, "9999-12-31T12:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_text(c.value), c.want) << "want " << c.want;
    EXPECT_EQ(ErrorKindOf([] { to_text(Variant(Date{1e10})); }), ErrorKind::Overflow);
    EXPECT_EQ(ErrorKindOf([] { to_text(Variant(Date{-657435.0})); }), ErrorKind::Overflow);
    // Half a second before year 10000 rounds into it.
    EXPECT_EQ(ErrorKindOf([] { to_text(Variant(Date{2958465.9999999})); }), ErrorKind::Overflow);
    EXPECT_EQ(ErrorKindOf([] { to_text(Variant(Bytes{})); }), ErrorKind::TypeMismatch);
}

// ---------------------------------------------------------------------------
// Upper case

TEST(UpperCase, MapsLettersBeyondAscii) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"Mass_value 12", "MASS_VALUE 12"},
        {"é", "É"},
        {"straße", "STRAßE"},  // no single-letter upper case
        {"αβγ σς", "ΑΒΓ ΣΣ"},
        {"привет", "ПРИВЕТ"},
        {"ÿ", "Ÿ"},
        {"ı", "I"},               // shorter once upper-cased
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"},  // four bytes
        {"\xFF\xFE" "ab", "\xFF\xFE" "AB"},           // not UTF-8
        {"\xE0\x81\xA1" "a", "\xE0\x81\xA1" "A"},     // overlong "a" stays as it is
        {"a\xC3", "A\xC3"},                           // cut short
    };
    for (const auto& c : cases) EXPECT_EQ(upper_case(c.text), c.want) << "text = " << c.text;
}

}  // namespace
}  // namespace bm
