#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 one code point at a time. Only well-formed sequences decode: no
// overlong forms, no surrogates, nothing beyond U+10FFFF, nothing cut short.
// What to do with the other bytes is the caller's choice.
namespace bm {

struct Utf8Sequence {
    char32_t code_point = 0;
    std::size_t length = 0;  // in bytes; 0 when the bytes are no well-formed sequence
};

// The sequence that starts at text[i], which must exist.
Utf8Sequence decode_utf8(std::string_view text, std::size_t i);

// Appends the UTF-8 form of a Unicode scalar value (not a surrogate, not
// beyond U+10FFFF).
void append_utf8(std::string& out, char32_t code_point);

bool is_scalar_value(char32_t code_point);

// What stands for text that cannot be decoded.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at text[i], which must exist, advancing `i` past it; a
// byte that starts no well-formed sequence gives U+FFFD and is passed alone.
char32_t next_code_point(std::string_view text, std::size_t& i);

// The UTF-16 code units of `text`, decoded as next_code_point does. `Unit`
// is any 16-bit unit type: char16_t, or the wchar_t of Windows.
template <class Unit>
std::basic_string<Unit> to_utf16(std::string_view text) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units are 16 bits wide");
    std::basic_string<Unit> units;
    units.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = next_code_point(text, i);
        if (c >= 0x10000) {
            units.push_back(static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<Unit>(c));
        }
    }
    return units;
}

// The UTF-8 of UTF-16 code units; an unpaired surrogate becomes U+FFFD.
template <class Unit>
std::string from_utf16(std::basic_string_view<Unit> units) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units are 16 bits wide");
    const auto high = [](char32_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto low = [](char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    std::string text;
    text.reserve(units.size());
    for (std::size_t k = 0; k < units.size(); ++k) {
        char32_t u = static_cast<char16_t>(units[k]);
        if (high(u) && k + 1 < units.size() && low(static_cast<char16_t>(units[k + 1]))) {
            u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<char16_t>(units[++k]) - 0xDC00);
        } else if (high(u) || low(u)) {
            u = kReplacementCharacter;
        }
        append_utf8(text, u);
    }
    return text;
}

}  // namespace bm
