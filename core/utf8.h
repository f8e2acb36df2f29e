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

}  // namespace bm
