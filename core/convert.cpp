#include "core/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/error.h"
#include "core/system_text.h"
#include "core/utf8.h"

namespace bm {
namespace {

// ---------------------------------------------------------------------------
// Decimal digit strings. Rounding to decimal places and the 15-digit text are
// both done on digits, so that "halfway" means halfway on the double's exact
// value and never on an already rounded binary approximation.

// value = 0.d1 d2 d3 ... x 10^point: the first `point` digits stand before the
// decimal point. Kept without leading or trailing zero digits; no digits is 0.
struct Decimal {
    bool negative = false;
    std::string digits;
    long long point = 0;
};

void normalize(Decimal& d) {
    const auto first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d.digits.clear();
        d.point = 0;
        return;
    }
    d.digits.erase(0, first);
    d.point -= static_cast<long long>(first);
    d.digits.erase(d.digits.find_last_not_of('0') + 1);
}

// Reads what std::to_chars writes: "[-]ddd[.ddd]" with an optional
// exponent "e[+-]xx".
Decimal from_chars_text(std::string_view text) {
    Decimal d;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        d.negative = true;
        ++i;
    }
    bool seen_point = false;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            seen_point = true;
        } else {
            d.digits += text[i];
            if (!seen_point) ++d.point;
        }
    }
    if (i < text.size()) {
        ++i;
        if (i < text.size() && text[i] == '+') ++i;
        int exponent = 0;
        std::from_chars(text.data() + i, text.data() + text.size(), exponent);
        d.point += exponent;
    }
    normalize(d);
    return d;
}

// How many digits the exact decimal value of a finite double has after the
// point: with |x| = m * 2^e and m odd, that is -e when e is negative.
int exact_fraction_digits(double x) {
    if (x == 0.0) return 0;
    int e = 0;
    auto m = static_cast<std::uint64_t>(std::ldexp(std::frexp(std::fabs(x), &e), 53));
    e -= 53;
    while (m % 2 == 0) {
        m /= 2;
        ++e;
    }
    return e < 0 ? -e : 0;
}

// The exact value of a finite double, every digit of it. The fixed form with
// precisely its own number of fraction digits involves no rounding at all.
Decimal exact_decimal(double x) {
    // 309 integer digits or 1074 fraction digits at most, never both.
    char buf[1100];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed,
                                   exact_fraction_digits(x));
    return from_chars_text(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

// A finite double rounded to 15 significant digits.
Decimal significant15(double x) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
    return from_chars_text(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

// Rounds to `places` digits after the point; a value exactly halfway goes to
// the even neighbour.
void round_at(Decimal& d, long long places) {
    const long long keep = d.point + places;
    const auto size = static_cast<long long>(d.digits.size());
    if (keep >= size) return;
    if (keep < 0) {  // less than half a unit of the last place
        d.digits.clear();
        d.point = 0;
        return;
    }
    const auto k = static_cast<std::size_t>(keep);
    bool up = false;
    if (d.digits[k] != '5')
        up = d.digits[k] > '5';
    else if (keep + 1 < size)  // no trailing zeros are kept, so something follows the 5
        up = true;
    else
        up = k > 0 && (d.digits[k - 1] - '0') % 2 == 1;
    d.digits.resize(k);
    if (up) {
        std::size_t i = k;
        while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
        if (i == 0) {
            d.digits.insert(0, 1, '1');
            ++d.point;
        } else {
            ++d.digits[i - 1];
        }
    }
    normalize(d);
}

// Integer digits, then `min_fraction` or more fraction digits; the separator
// is written when there is a fraction or when `keep_separator` asks for it.
std::string fixed_text(const Decimal& d, char separator, long long min_fraction,
                       bool keep_separator) {
    std::string out;
    const auto size = static_cast<long long>(d.digits.size());
    if (d.point > 0) {
        const auto whole = std::min(d.point, size);
        out.append(d.digits, 0, static_cast<std::size_t>(whole));
        if (d.point > size) out.append(static_cast<std::size_t>(d.point - size), '0');
    } else {
        out += '0';
    }
    std::string fraction;
    if (d.point < 0) {
        fraction.assign(static_cast<std::size_t>(-d.point), '0');
        fraction += d.digits;
    } else if (d.point < size) {
        fraction = d.digits.substr(static_cast<std::size_t>(d.point));
    }
    if (static_cast<long long>(fraction.size()) < min_fraction)
        fraction.append(static_cast<std::size_t>(min_fraction) - fraction.size(), '0');
    if (!fraction.empty() || keep_separator) {
        out += separator;
        out += fraction;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Reading numbers from text.

// Sign, mantissa digits with the number of them before the point, and the
// written exponent, as gathered from a text.
struct NumberParts {
    bool negative = false;
    std::string digits;
    long long point = 0;
    long long exponent = 0;
};

struct ReadNumber {
    double value = 0.0;
    bool too_large = false;
};

// An exponent far beyond any double's range is kept at this size, so that a
// text of many exponent digits cannot overflow the counter.
constexpr long long kExponentCap = 1'000'000;

void add_exponent_digit(long long& exponent, char c) {
    exponent = std::min(exponent * 10 + (c - '0'), kExponentCap);
}

// Turns gathered parts into the nearest double; `too_large` when the value
// lies beyond the largest double. Values below the smallest one become 0.
ReadNumber to_double(const NumberParts& parts) {
    const auto first = parts.digits.find_first_not_of('0');
    if (first == std::string::npos) return {};
    // The number is 0.ddd x 10^order, ddd starting at the first non-zero digit.
    const long long order = parts.point - static_cast<long long>(first) + parts.exponent;
    if (order > 400) return {0.0, true};
    if (order < -400) return {};
    std::string text = "0.";
    text.append(parts.digits, first);
    text += 'e';
    text += std::to_string(order);
    double value = 0.0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec == std::errc::result_out_of_range)
        return order > 0 ? ReadNumber{0.0, true} : ReadNumber{};
    return {parts.negative ? -value : value, false};
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_exponent_mark(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

enum class TextNumber { kNumber, kNotNumber, kTooLarge };

struct TextRead {
    TextNumber kind = TextNumber::kNotNumber;
    double value = 0.0;
};

// A whole text read as one decimal number: blanks around it, a sign, digits
// with at most one `separator`, and an exponent with at least one digit.
TextRead read_text_number(std::string_view text, char separator) {
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < end && is_blank(text[i])) ++i;
    while (end > i && is_blank(text[end - 1])) --end;
    NumberParts parts;
    if (i < end && is_sign(text[i])) parts.negative = text[i++] == '-';
    bool seen_separator = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            parts.digits += c;
            if (!seen_separator) ++parts.point;
        } else if (c == separator && !seen_separator) {
            seen_separator = true;
        } else {
            break;
        }
    }
    if (parts.digits.empty()) return {};
    if (i < end && is_exponent_mark(text[i])) {
        ++i;
        bool negative_exponent = false;
        if (i < end && is_sign(text[i])) negative_exponent = text[i++] == '-';
        const std::size_t start = i;
        long long exponent = 0;
        for (; i < end && is_digit(text[i]); ++i) add_exponent_digit(exponent, text[i]);
        if (i == start) return {};
        parts.exponent = negative_exponent ? -exponent : exponent;
    }
    if (i != end) return {};
    const ReadNumber n = to_double(parts);
    if (n.too_large) return {TextNumber::kTooLarge, 0.0};
    return {TextNumber::kNumber, n.value};
}

// ---------------------------------------------------------------------------
// Rounding to integers.

// Nearest integer, an exact half going to the even neighbour. Decided on
// trunc(x) and x - trunc(x), both exact, so the result does not hang on the
// floating-point rounding mode that the host may have set.
double round_half_even(double x) {
    const double whole = std::trunc(x);
    const double rest = std::fabs(x - whole);
    const double away = whole + std::copysign(1.0, x);
    if (rest > 0.5) return away;
    if (rest < 0.5) return whole;
    return std::fmod(whole, 2.0) == 0.0 ? whole : away;
}

template <class Int>
Int round_to(double x, const char* type) {
    if (std::isfinite(x)) {
        const double r = round_half_even(x);
        if (r >= static_cast<double>(std::numeric_limits<Int>::min()) &&
            r <= static_cast<double>(std::numeric_limits<Int>::max()))
            return static_cast<Int>(r);
    }
    raise(ErrorKind::Overflow, number_text(x) + " does not fit " + type);
}

// The number a value stands for when it must become an integer.
double number_of(const Variant& v, const char* type) {
    switch (v.type()) {
        case VarType::kEmpty: return 0.0;
        case VarType::kBoolean: return v.as_bool() ? -1.0 : 0.0;
        case VarType::kInteger: return v.as_integer();
        case VarType::kLong: return v.as_long();
        case VarType::kDouble: return v.as_double();
        case VarType::kDate: return v.as_date().serial;
        case VarType::kString: {
            const TextRead r = read_text_number(v.as_string(), decimal_separator());
            if (r.kind == TextNumber::kNumber) return r.value;
            if (r.kind == TextNumber::kTooLarge)
                raise(ErrorKind::Overflow, "\"" + v.as_string() + "\" does not fit " + type);
            raise(ErrorKind::TypeMismatch, "\"" + v.as_string() + "\" is not a number");
        }
        case VarType::kBytes:
        case VarType::kObject: break;
    }
    raise(ErrorKind::TypeMismatch,
          std::string("a ") + type_name(v.type()) + " value cannot become " + type);
}

// ---------------------------------------------------------------------------
// Dates.

// The automation world's dates run from 100-01-01 to 9999-12-31.
std::string date_text(Date date) {
    const auto t = date_time_of(date, TimeUnit::kSecond);
    if (!t || t->year < 100 || t->year > 9999)
        raise(ErrorKind::Overflow, number_text(date.serial) + " is no date");
    return iso_text(*t);
}

}  // namespace

// ---------------------------------------------------------------------------

std::int16_t round_to_integer(double x) { return round_to<std::int16_t>(x, "an Integer"); }
std::int32_t round_to_long(double x) { return round_to<std::int32_t>(x, "a Long"); }

std::int16_t to_integer(const Variant& v) { return round_to_integer(number_of(v, "an Integer")); }
std::int32_t to_long(const Variant& v) { return round_to_long(number_of(v, "a Long")); }

std::string to_text(const Variant& v) {
    switch (v.type()) {
        case VarType::kEmpty: return {};
        case VarType::kBoolean: return v.as_bool() ? "True" : "False";
        case VarType::kInteger: return std::to_string(v.as_integer());
        case VarType::kLong: return std::to_string(v.as_long());
        case VarType::kDouble: {
            // In the user's number format, so that to_long reads it back.
            std::string text = number_text(v.as_double());
            std::replace(text.begin(), text.end(), '.', decimal_separator());
            return text;
        }
        case VarType::kDate: return date_text(v.as_date());
        case VarType::kString: return v.as_string();
        case VarType::kBytes:
        case VarType::kObject: break;
    }
    raise(ErrorKind::TypeMismatch, std::string("a ") + type_name(v.type()) + " value has no text");
}

bool is_numeric(const Variant& v) {
    if (v.is_numeric()) return true;
    return v.type() == VarType::kString &&
           read_text_number(v.as_string(), decimal_separator()).kind == TextNumber::kNumber;
}

double leading_number(std::string_view text) {
    NumberParts parts;
    std::size_t i = 0;
    const auto skip_blanks = [&] {
        while (i < text.size() && is_blank(text[i])) ++i;
    };
    skip_blanks();
    if (i < text.size() && is_sign(text[i])) parts.negative = text[i++] == '-';
    bool seen_point = false;
    for (;; ++i) {
        skip_blanks();
        if (i >= text.size()) break;
        const char c = text[i];
        if (is_digit(c)) {
            parts.digits += c;
            if (!seen_point) ++parts.point;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
    }
    if (!parts.digits.empty() && i < text.size() && is_exponent_mark(text[i])) {
        ++i;
        skip_blanks();
        bool negative_exponent = false;
        if (i < text.size() && is_sign(text[i])) negative_exponent = text[i++] == '-';
        long long exponent = 0;
        for (;; ++i) {
            skip_blanks();
            if (i >= text.size() || !is_digit(text[i])) break;
            add_exponent_digit(exponent, text[i]);
        }
        parts.exponent = negative_exponent ? -exponent : exponent;
    }
    const ReadNumber n = to_double(parts);
    if (n.too_large)
        raise(ErrorKind::Overflow, "the number in \"" + std::string(text) + "\" is too large");
    return n.value;
}

std::string number_text(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
    if (x == 0.0) return "0";
    const Decimal d = significant15(x);
    std::string out = d.negative ? "-" : "";
    const long long exponent = d.point - 1;  // of the leading digit
    if (exponent < -15 || exponent > 14) {
        out += d.digits[0];
        if (d.digits.size() > 1) {
            out += '.';
            out.append(d.digits, 1);
        }
        out += exponent < 0 ? "E-" : "E+";
        out += std::to_string(exponent < 0 ? -exponent : exponent);
        return out;
    }
    return out + fixed_text(d, '.', 0, false);
}

double round_places(double x, int places) {
    if (places < 0) raise(ErrorKind::InvalidArgument, "negative number of decimal places");
    if (!std::isfinite(x) || x == 0.0) return x;
    if (exact_fraction_digits(x) <= places) return x;
    Decimal d = exact_decimal(x);
    round_at(d, places);
    if (d.digits.empty()) return std::copysign(0.0, x);
    std::string text = d.negative ? "-" : "";
    text += d.digits;
    text += 'e';
    text += std::to_string(d.point - static_cast<long long>(d.digits.size()));
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// A double's exact value never has more fraction digits than this, so places
// beyond it could only add padding zeros; a mistyped precision such as
// 2147483647 would otherwise ask for gigabytes of them.
constexpr std::int32_t kMaxPlaces = 1074;

std::string format_fixed_pattern(double x, std::int32_t places) {
    if (places < 0 || places > kMaxPlaces)
        raise(ErrorKind::InvalidArgument,
              "invalid number of decimal places: " + std::to_string(places));
    if (!std::isfinite(x)) raise(ErrorKind::Overflow, number_text(x) + " cannot be formatted");
    const double rounded = round_places(x, places);
    Decimal d = rounded == 0.0 ? Decimal{} : significant15(rounded);
    // Deep among the subnormals a double holds fewer than 15 digits, and its
    // 15-digit text may show more places than asked; those are rounded away.
    round_at(d, places);
    std::string text = fixed_text(d, decimal_separator(), places, true);
    if (d.negative && !d.digits.empty()) text.insert(text.begin(), '-');
    return text;
}

char decimal_separator() {
    static const char separator = system_text::decimal_separator();
    return separator;
}

// Bytes that are no UTF-8 pass unchanged; the runs between them go to the
// system's case mapping.
std::string upper_case(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t runStart = 0;
    std::size_t i = 0;
    auto flushRun = [&] {
        if (i > runStart) out += system_text::upper_case(text.substr(runStart, i - runStart));
    };
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {  // ASCII needs no decoding
            ++i;
            continue;
        }
        const Utf8Sequence seq = decode_utf8(text, i);
        if (seq.length != 0) {
            i += seq.length;
            continue;
        }
        flushRun();
        out += text[i++];
        runStart = i;
    }
    flushRun();
    return out;
}

}  // namespace bm
