#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/variant.h"

// The few value conversions the add-in relies on, with the automation
// world's rules: integers are reached by rounding half to even, and a number
// that does not fit is an overflow, never a wrap-around.
namespace bm {

// Nearest integer, a half going to the even neighbour; Overflow when the
// rounded value leaves the type's range (or is not a number).
std::int16_t round_to_integer(double x);
std::int32_t round_to_long(double x);

// Coercion of a value to a 16- or 32-bit integer: numbers are rounded as
// above, Boolean True is -1, text is read as a decimal number in the user's
// number format and rounded (text that is no number is a type mismatch),
// Empty is 0, bytes and objects are a type mismatch.
std::int16_t to_integer(const Variant& v);
std::int32_t to_long(const Variant& v);

// The add-in counts host lists and grid rows in 16-bit signed integers.
inline constexpr std::int32_t kMaxCount16 = 32767;

// `count` held in such a counter; Overflow, naming the count and `what`
// ("rows", "properties offered"), when it does not fit.
std::int16_t count16(std::int64_t count, std::string_view what);

// Text of a value: numbers with at most 15 significant digits, Boolean as
// "True"/"False", Empty as "", dates as ISO 8601; bytes and objects are a
// type mismatch.
std::string to_text(const Variant& v);

// True for a number, or for text that reads as a number as to_long reads it.
bool is_numeric(const Variant& v);

// The leading number of a text: blanks, tabs and line feeds are skipped
// wherever they stand; an optional sign, digits, one period and an optional
// exponent are read; reading stops at the first other character. A text
// without a leading number gives 0. Only the period is a decimal separator.
double leading_number(std::string_view text);

// A number as text with at most 15 significant digits, no exponent for
// ordinary magnitudes, no trailing zeros ("12", "0.46", "-3.5").
std::string number_text(double x);

// The shortest text that reads back as the same double ("0.1", "1e+300"),
// so that two values that differ never print alike.
std::string shortest_text(double x);

// x rounded to `places` decimal places (0 or more), ties to even, where a tie
// is only a value that lies exactly halfway on the double's exact value.
double round_places(double x, int places);

// x rounded to `places` and formatted with the pattern "0." followed by
// `places` zeros: at least one digit before the separator, exactly `places`
// after it, no grouping, the separator kept when `places` is 0 ("12.").
// A negative `places` is an invalid argument.
std::string format_fixed_pattern(double x, std::int32_t places);

// The decimal separator of the user's number settings.
char decimal_separator();

// Upper-case form of a UTF-8 text for name matching that ignores letter
// case, as the user's locale maps letters ("é" becomes "É").
std::string upper_case(std::string_view text);

}  // namespace bm
