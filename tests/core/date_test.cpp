#include "core/date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>

namespace bm {
namespace {

struct IsoCase {
    const char* text;
    double serial;
};

void PrintTo(const IsoCase& c, std::ostream* os) { *os << c.text; }

class IsoDate : public testing::TestWithParam<IsoCase> {};

TEST_P(IsoDate, ReadsAndWritesTheSerial) {
    const auto t = read_iso(GetParam().text);
    ASSERT_TRUE(t.has_value());
    EXPECT_DOUBLE_EQ(date_of(*t).serial, GetParam().serial);
    const auto back = date_time_of(date_of(*t), TimeUnit::kMillisecond);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, *t);
    EXPECT_EQ(iso_text(*back), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, IsoDate,
    testing::Values(IsoCase{"1899-12-30", 0.0}, IsoCase{"1899-12-31", 1.0},
                    IsoCase{"1900-03-01", 61.0}, IsoCase{"2000-02-29", 36585.0},
                    IsoCase{"2024-03-01", 45352.0},
                    IsoCase{"2024-03-01T12:30:00", 45352.0 + 12.5 / 24},
                    IsoCase{"2024-03-01T23:59:59.999", 45353.0 - 0.001 / 86400},
                    IsoCase{"1899-12-29T06:00:00", -1.25}, IsoCase{"0001-01-01", -693593.0},
                    IsoCase{"9999-12-31", 2958465.0}));

TEST(IsoDate, RefusesWhatIsNoDate) {
    for (const char* text :
         {"2024-13-01", "2024-00-10", "2024-04-31", "1900-02-29", "2024-3-1", "20240301",
          "2024-03-01T24:00", "2024-03-01T12:60", "2024-03-01T12", "2024-03-01 12:00",
          "2024-03-01T12:00:00Z", "2024-03-01T12:00:00.1234", "2024-03-01T12:00:00.", ""})
        EXPECT_FALSE(read_iso(text).has_value()) << text;
    EXPECT_EQ(read_iso("2024-03-01T12:00"), read_iso("2024-03-01T12:00:00.0"));
}

TEST(DateTimeOf, RoundsTheTimeToTheUnitAsked) {
    const Date d{45352.0 + (12.5 * 3600 + 0.6) / 86400};  // 12:30:00.600
    EXPECT_EQ(iso_text(*date_time_of(d, TimeUnit::kMillisecond)), "2024-03-01T12:30:00.600");
    EXPECT_EQ(iso_text(*date_time_of(d, TimeUnit::kSecond)), "2024-03-01T12:30:01");
    // Rounding up to midnight moves to the next day, before the epoch too.
    EXPECT_EQ(iso_text(*date_time_of(Date{0.9999999}, TimeUnit::kSecond)), "1899-12-31");
    EXPECT_EQ(iso_text(*date_time_of(Date{-1.9999999}, TimeUnit::kSecond)), "1899-12-30");
}

TEST(DateTimeOf, HasNoDateForWhatIsNoNumberOrFarOutOfRange) {
    for (const double serial : {std::nan(""), std::numeric_limits<double>::infinity(), 1e10, -1e10})
        EXPECT_FALSE(date_time_of(Date{serial}, TimeUnit::kSecond).has_value()) << serial;
}

}  // namespace
}  // namespace bm
