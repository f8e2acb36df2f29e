#pragma once

// A slow, exact reference for rounding doubles to decimal places, against
// which the fast conversions are checked (by the tests and the fuzzer).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace bm::test {

// The exact decimal value of a finite double, by long multiplication on
// decimal digits: |x| = m * 2^e with an integer m.
struct Expansion {
    bool negative = false;
    std::string whole;     // at least "0"
    std::string fraction;  // every digit, possibly empty
};

inline Expansion Expand(double x) {
    int e = 0;
    const double f = std::frexp(std::fabs(x), &e);
    auto m = static_cast<std::uint64_t>(std::ldexp(f, 53));
    e -= 53;
    std::vector<int> digits;  // least significant first
    for (; m != 0; m /= 10) digits.push_back(static_cast<int>(m % 10));
    const auto multiply = [&digits](int factor) {
        int carry = 0;
        for (int& d : digits) {
            const int v = d * factor + carry;
            d = v % 10;
            carry = v / 10;
        }
        for (; carry != 0; carry /= 10) digits.push_back(carry % 10);
    };
    // With e < 0, m * 2^e = m * 5^-e / 10^-e: the last -e digits are the fraction.
    const std::size_t fraction_digits = e < 0 ? static_cast<std::size_t>(-e) : 0;
    for (int i = 0; i < std::abs(e); ++i) multiply(e < 0 ? 5 : 2);
    digits.resize(std::max(digits.size(), fraction_digits + 1), 0);
    Expansion out;
    out.negative = std::signbit(x);
    for (std::size_t i = digits.size(); i-- > 0;)
        (i < fraction_digits ? out.fraction : out.whole) += static_cast<char>('0' + digits[i]);
    out.whole.erase(0, std::min(out.whole.find_first_not_of('0'), out.whole.size() - 1));
    out.fraction.erase(out.fraction.find_last_not_of('0') + 1);
    return out;
}

// x rounded to `places` on its exact value, a tie to the even digit, as text.
inline std::string ReferenceRounding(double x, int places) {
    Expansion d = Expand(x);
    d.fraction.resize(std::max(d.fraction.size(), static_cast<std::size_t>(places) + 1), '0');
    std::string kept = d.whole + d.fraction.substr(0, static_cast<std::size_t>(places));
    const char first = d.fraction[static_cast<std::size_t>(places)];
    const bool beyond = d.fraction.find_first_not_of('0', places + 1) != std::string::npos;
    const bool odd = (kept.back() - '0') % 2 == 1;
    if (first > '5' || (first == '5' && (beyond || odd))) {
        std::size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
        if (i == 0) kept.insert(0, "1");
        else ++kept[i - 1];
    }
    const std::size_t point = kept.size() - static_cast<std::size_t>(places);
    return (d.negative ? "-" : "") + kept.substr(0, point) + "." + kept.substr(point);
}

}  // namespace bm::test
