#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/convert.h"
#include "error_kind.h"
#include "exact_decimal.h"

namespace bm {
namespace {

using test::ErrorKindOf;
using test::Expand;
using test::Expansion;
using test::ReferenceRounding;
using test::Localized;

std::string ExactText(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    return buf;
}

// ---------------------------------------------------------------------------
// Rounding to 16- and 32-bit integers.

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

template <class Int>
void ExpectRounding(Int (*round)(double), double x, std::optional<Int> want) {
    if (want)
        EXPECT_EQ(round(x), *want) << "x = " << ExactText(x);
    else
        EXPECT_EQ(ErrorKindOf([&] { round(x); }), ErrorKind::Overflow) << "x = " << ExactText(x);
}

TEST(RoundToInteger, HalvesGoToEvenAndTheEdgesOverflow) {
    // Each value against both widths; nothing stands for an overflow.
    const struct {
        double x;
        std::optional<std::int16_t> integer;
        std::optional<std::int32_t> long_value;
    } cases[] = {
        {0.5, 0, 0},  {1.5, 2, 2},  {-0.5, 0, 0},  {-1.5, -2, -2},
        {0.49999999999999994, 0, 0}, {2.5000000000000004, 3, 3},
        {32766.5, 32766, 32766},     {32767.49999999999, 32767, 32767},
        {32767.5, {}, 32768},        {-32768.5, -32768, -32768},
        {-32768.50000000001, {}, -32769},  {-32769.5, {}, -32770},
        {2147483646.5, {}, 2147483646},    {2147483647.4, {}, 2147483647},
        {2147483647.5, {}, {}},            {-2147483648.5, {}, INT32_MIN},
        {-2147483648.6, {}, {}},           {4503599627370497.0, {}, {}},
        {1e300, {}, {}},  {kNaN, {}, {}},  {-kInf, {}, {}},
    };
    for (const auto& c : cases) {
        ExpectRounding(&round_to_integer, c.x, c.integer);
        ExpectRounding(&round_to_long, c.x, c.long_value);
    }
}

// ---------------------------------------------------------------------------
// Rounding to decimal places, against a slow exact reference.

TEST(ExactReference, ExpandsEveryDigit) {
    const Expansion tenth = Expand(0.1);
    EXPECT_EQ(tenth.whole + "." + tenth.fraction,
              "0.1000000000000000055511151231257827021181583404541015625");
    EXPECT_EQ(ReferenceRounding(2.675, 2), "2.67");
    EXPECT_EQ(ReferenceRounding(-9.5, 0), "-10.");
}

TEST(RoundPlaces, MatchesExactReferenceOnRandomValues) {
    std::mt19937_64 rng(20240611);
    std::uniform_int_distribution<std::int64_t> digits(0, 99'999);
    std::uniform_int_distribution<int> exponent(-60, 70);
    std::uniform_real_distribution<double> unit(0.5, 1.0);
    int checked = 0;
    for (int round = 0; round < 1500; ++round) {
        for (int places = 0; places <= 8; ++places) {
            // Near-ties written in decimal, exact binary ties, and arbitrary values.
            const std::string near_tie =
                std::to_string(digits(rng)) + "5e-" + std::to_string(places + 1);
            const double values[] = {
                std::strtod(near_tie.c_str(), nullptr),
                std::ldexp(static_cast<double>(2 * digits(rng) + 1), -(places + 1)),
                std::ldexp(unit(rng), exponent(rng)) * (round % 2 == 0 ? 1 : -1),
            };
            for (double x : values) {
                const std::string want = ReferenceRounding(x, places);
                ASSERT_EQ(round_places(x, places), std::strtod(want.c_str(), nullptr))
                    << "x = " << ExactText(x) << ", places = " << places << ", want " << want;
                // Below 15 significant digits the pattern shows the rounded decimal as it is.
                if (std::fabs(x) < 1e6) {
                    std::string text = want;
                    if (std::strtod(want.c_str(), nullptr) == 0.0 && text[0] == '-')
                        text.erase(0, 1);
                    ASSERT_EQ(format_fixed_pattern(x, places), Localized(text))
                        << "x = " << ExactText(x) << ", places = " << places;
                }
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 40000);
}

struct PlacesCase {
    double x;
    int places;
    double want;
};

TEST(RoundPlaces, NamedExamples) {
    const PlacesCase cases[] = {
        {2.675, 2, 2.67},    // stored just below the half
        {12.345, 2, 12.35},  // stored just above the half
        {0.125, 2, 0.12},  {2.5, 0, 2.0},       {0.25, 1, 0.2},  {-2.5, 0, -2.0},
        {1.005, 2, 1.0},   {99.5, 0, 100.0},    {1e20, 2, 1e20}, {1e300, 30, 1e300},
        {0.1, 30, 0.1},    {5e-324, 8, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(round_places(c.x, c.places), c.want)
            << "x = " << ExactText(c.x) << ", places = " << c.places;
    EXPECT_EQ(ErrorKindOf([] { round_places(1.0, -1); }), ErrorKind::InvalidArgument);
}

// ---------------------------------------------------------------------------
// The "0.00" pattern.

struct PatternCase {
    double x;
    std::int32_t places;
    const char* want;
};

TEST(FormatFixedPattern, Examples) {
    const PatternCase cases[] = {
        {0.456, 2, "0.46"},   {12.0, 0, "12."},  {0.4, 0, "0."},      {7.5, 0, "8."},
        {6.5, 0, "6."},       {2.5, 0, "2."},    {0.125, 2, "0.12"},  {12.34, 1, "12.3"},
        {0.0, 1, "0.0"},      {0.46, 1, "0.5"},  {-0.5, 1, "-0.5"},   {-0.04, 1, "0.0"},
        {-0.4, 0, "0."},      {-2.5, 0, "-2."},  {99.95, 1, "100.0"}, {1234.5, 3, "1234.500"},
        {1e20, 2, "100000000000000000000.00"},
        {123456789.123456789, 8, "123456789.12345700"},  // 15 significant digits
        {1e-20, 25, "0.0000000000000000000100000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(format_fixed_pattern(c.x, c.places), Localized(c.want))
            << "x = " << ExactText(c.x) << ", places = " << c.places;
    // A subnormal holds fewer than 15 digits; its text still stops at `places`.
    EXPECT_EQ(format_fixed_pattern(1e-320, 325),
              Localized("0." + std::string(320, '0') + "99999"));
}

TEST(FormatFixedPattern, RefusesWhatItCannotShow) {
    EXPECT_EQ(ErrorKindOf([] { format_fixed_pattern(1.0, -1); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(ErrorKindOf([] { format_fixed_pattern(1.0, INT32_MAX); }),
              ErrorKind::InvalidArgument);
    EXPECT_EQ(ErrorKindOf([] { format_fixed_pattern(kNaN, 2); }), ErrorKind::Overflow);
}

}  // namespace
}  // namespace bm
