#include "core/date.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace bm {
namespace {

namespace chrono = std::chrono;

// Serial 0.
constexpr chrono::sys_days kSerialEpoch = chrono::year{1899} / 12 / 30;
constexpr std::int64_t kMsPerDay = 86'400'000;

// About years -9000 to 12800: far enough for any caller's range, near
// enough that every cast below stays defined and every year is one that
// chrono::year holds.
constexpr double kLargestSerial = 4e6;

// Reads exactly `n` digits at `pos`.
bool digits(std::string_view text, std::size_t& pos, std::size_t n, unsigned& out) {
    if (pos + n > text.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<unsigned>(c - '0');
    }
    pos += n;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<DateTime> date_time_of(Date date, TimeUnit unit) {
    if (!std::isfinite(date.serial) || std::fabs(date.serial) > kLargestSerial) return std::nullopt;
    const double whole = std::trunc(date.serial);
    auto days = static_cast<std::int64_t>(whole);
    const std::int64_t per_day = unit == TimeUnit::kSecond ? 86'400 : kMsPerDay;
    auto units = std::llround(std::fabs(date.serial - whole) * static_cast<double>(per_day));
    if (units >= per_day) {  // rounded up to the next midnight
        units -= per_day;
        ++days;
    }
    const auto ms = static_cast<unsigned>(unit == TimeUnit::kSecond ? units * 1000 : units);
    const chrono::year_month_day ymd{kSerialEpoch + chrono::days{days}};
    return DateTime{.year = static_cast<int>(ymd.year()),
                    .month = static_cast<unsigned>(ymd.month()),
                    .day = static_cast<unsigned>(ymd.day()),
                    .hour = ms / 3'600'000,
                    .minute = ms / 60'000 % 60,
                    .second = ms / 1000 % 60,
                    .millisecond = ms % 1000};
}

Date date_of(const DateTime& t) {
    const chrono::sys_days day =
        chrono::year{static_cast<int>(t.year)} / chrono::month{t.month} / chrono::day{t.day};
    const std::int64_t days = (day - kSerialEpoch).count();
    const double time =
        static_cast<double>(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond) /
        static_cast<double>(kMsPerDay);
    const double whole = static_cast<double>(days);
    return Date{days >= 0 ? whole + time : whole - time};
}

std::string iso_text(const DateTime& t) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(t.year),
                          t.month, t.day);
    const auto rest = [&] { return buf + n; };
    const auto room = [&] { return sizeof buf - static_cast<std::size_t>(n); };
    if (t.hour != 0 || t.minute != 0 || t.second != 0 || t.millisecond != 0)
        n += std::snprintf(rest(), room(), "T%02u:%02u:%02u", t.hour, t.minute, t.second);
    if (t.millisecond != 0) n += std::snprintf(rest(), room(), ".%03u", t.millisecond);
    return std::string(buf, static_cast<std::size_t>(n));
}

std::optional<DateTime> read_iso(std::string_view text) {
    std::size_t pos = 0;
    unsigned year = 0;
    DateTime t;
    if (!digits(text, pos, 4, year) || !expect(text, pos, '-') || !digits(text, pos, 2, t.month) ||
        !expect(text, pos, '-') || !digits(text, pos, 2, t.day))
        return std::nullopt;
    t.year = year;
    if (!(chrono::year{static_cast<int>(year)} / chrono::month{t.month} / chrono::day{t.day}).ok())
        return std::nullopt;
    if (pos == text.size()) return t;
    if (!expect(text, pos, 'T') || !digits(text, pos, 2, t.hour) || !expect(text, pos, ':') ||
        !digits(text, pos, 2, t.minute))
        return std::nullopt;
    if (pos < text.size()) {
        if (!expect(text, pos, ':') || !digits(text, pos, 2, t.second)) return std::nullopt;
        if (pos < text.size()) {
            if (!expect(text, pos, '.')) return std::nullopt;
            const std::size_t n = text.size() - pos;
            if (n < 1 || n > 3 || !digits(text, pos, n, t.millisecond)) return std::nullopt;
            for (std::size_t i = n; i < 3; ++i) t.millisecond *= 10;
        }
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

}  // namespace bm
