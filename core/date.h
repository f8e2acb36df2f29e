#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/variant.h"

// Date serials (days since 1899-12-30, the fraction being the time of day)
// as calendar dates of the proleptic Gregorian calendar, and as ISO 8601
// text. Which years are acceptable is each caller's rule; these work on any.
namespace bm {

struct DateTime {
    std::int64_t year = 1899;
    unsigned month = 12;  // 1 to 12
    unsigned day = 30;    // 1 to the month's length
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned millisecond = 0;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// How finely a serial's time of day is kept.
enum class TimeUnit { kSecond, kMillisecond };

// The date and time of a serial, the time rounded to the nearest `unit`.
// Before the epoch the whole part still counts days and the fraction is the
// time after midnight of that day (-1.25 is 1899-12-29 06:00). Nothing for a
// serial that is not finite or lies thousands of years beyond 1 to 9999.
std::optional<DateTime> date_time_of(Date date, TimeUnit unit);

// The serial of a valid date and time.
Date date_of(const DateTime& t);

// "2024-03-01", then "T12:30:00" unless the time is midnight, then ".125"
// when there are milliseconds. The year has at least four digits.
std::string iso_text(const DateTime& t);

// Reads the forms iso_text writes, the time also as "Thh:mm" and the
// fraction of a second with one to three digits. Nothing when the text is
// none of them or names a day or time that does not exist.
std::optional<DateTime> read_iso(std::string_view text);

}  // namespace bm
